#include "ui/frmMain.h"

#include "config/Settings.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "config/modRegistry.h"
#include "ui/BackColor.h"
#include "ui/Dialogs.h"
#include "ui/Seams.h"
#include "ui/Twips.h"
#include "ui/WindowPlacement.h"
#include "ui/modAppIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSystemTrayIcon>
#include <QUrl>
#include <optional>

namespace
{

using namespace FrmMainTexts;

// Right mouse button, as the notification area reports it.
constexpr int RightButton = 2;

// The layout in twips: the client area, and what the log switch changes.
constexpr int ClientWidthTwips = 6090;
constexpr int ClientHeightTwips = 3705;
constexpr int LogAreaTwips = 1025;
constexpr int FrameHeightShownTwips = 3710;
constexpr int ButtonTopShownTwips = 3210;

const QString CrLf = QStringLiteral("\r\n");

QString productTitle()
{
    return QLatin1String(modGlobal::ProductName);
}

} // namespace

frmMain::frmMain(const QStringList &arguments, QWidget *parent)
    : QWidget(parent)
    , m_scheduler(*this)
{
    setUpWindow();
    setUpTimers();
    setUpTray();
    connectControls();
    Form_Load(arguments);
}

frmMain::~frmMain()
{
    setBusyPointer(false);
}

// ---- construction ----------------------------------------------------------------------------

void frmMain::setUpWindow()
{
    setupUi(this);
    dxOption1 = {dxOption1_0, dxOption1_1};
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    Twips::FitFormToDpi(this);
    setFixedSize(Twips::ToPixelsX(ClientWidthTwips, this), Twips::ToPixelsY(ClientHeightTwips, this));

    for (QLabel *label : {Label1, Label2, Label3, Label4})
        label->setTextFormat(Qt::PlainText);
    List1->setModel(&m_log);
    connect(&m_log, &ActivityLog::selectedRowChanged, this, &frmMain::followSelectedLine);
    List1->viewport()->setMouseTracking(true);
    List1->viewport()->installEventFilter(this);
    cmdQuit->installEventFilter(this);
}

void frmMain::setUpTimers()
{
    Timer1.setInterval(60000);
    Timer2.setInterval(500);
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &frmMain::Timer2_Timer);
    Timer1.start();
}

void frmMain::setUpTray()
{
    sevTray1 = new QSystemTrayIcon(this);
    sevTray1->setObjectName("sevTray1");
    m_trayMenu.setObjectName("sevTray1Menu");
    connect(sevTray1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Context)
            sevTray1_MouseUp(RightButton);
        else if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            sevTray1_Activate();
    });
    connect(&m_trayMenu, &QMenu::triggered, this,
        [this](QAction *entry) { sevTray1_MenuClick(entry->data().toString()); });
}

void frmMain::connectControls()
{
    connect(cmdStopStart, &QPushButton::clicked, this, &frmMain::cmdStopStart_Click);
    connect(cmdFrom, &QPushButton::clicked, this, &frmMain::cmdFrom_Click);
    connect(cmdTo, &QPushButton::clicked, this, &frmMain::cmdTo_Click);
    connect(cmdInfo, &QPushButton::clicked, this, &frmMain::cmdInfo_Click);
    connect(cmdOpt, &QPushButton::clicked, this, &frmMain::cmdOpt_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmMain::cmdHelp_Click);
    connect(cmdQuit, &QPushButton::clicked, this, &frmMain::cmdQuit_Click);
    // Only the user's clicks switch the log; the settings set the box and the layout together.
    connect(dxCheck1, &QCheckBox::clicked, this, &frmMain::dxCheck1_Change);
    // Start follows what is typed, not only what a folder button chose.
    for (QLineEdit *field : {dxText1, dxText2}) {
        connect(field, &QLineEdit::textEdited, this, [this] {
            CheckFolders();
            SetFolderToolTips();
        });
    }
    connect(dxCombo1, &QComboBox::activated, this, &frmMain::showIntervalFromStart);
    connect(dxCombo1, &QComboBox::editTextChanged, this, [this] {
        if (m_intervalRed)
            setIntervalTextRed(false);
    });
}

// ---- load, language, colours -------------------------------------------------------------------

void frmMain::Form_Load(const QStringList &arguments)
{
    modAppIcon::SetIcon(this, QStringLiteral("AAA"), true);
    m_state.ElapsedMinutes = 0;
    m_state.StopRequested = false;
    LoadLanguage();
    setWindowCaption(productTitle() + QLatin1String(" - ") + text(StateStopped));
    LoadSettings();
    CheckFolders();
    SetFolderToolTips();
    if (arguments.join(QLatin1Char(' ')) == QLatin1String("/s") && cmdStopStart->isEnabled())
        cmdStopStart_Click();
    ApplyBackColor();
}

void frmMain::LoadLanguage()
{
    m_state.Texts.clear();
    for (int n = 0; n < WindowTextCount; ++n)
        m_state.Texts.append(FrmMainTexts::Text(TextId(n)));
    Label1->setText(text(SourceHeading));
    Label2->setText(text(DestinationHeading));
    Label3->setText(text(IntervalHeading));
    Label4->setText(text(LogHeading));
    dxOption1[0]->setText(text(MoveOption));
    dxOption1[1]->setText(text(CopyOption));
    dxCheck2->setText(text(OverwriteBox));
    dxCheck1->setText(text(ShowLogBox));
    cmdStopStart->setText(text(ButtonStopped));
    cmdQuit->setCaption(text(QuitCaption));
    cmdOpt->setCaption(text(OptionsCaption));

    m_state.Messages.clear();
    for (int n = 0; n < MessageCount; ++n)
        m_state.Messages.append(FrmMainTexts::Text(TextId(HelpQuestion + n)));
}

void frmMain::SetMessages(bool languageChanged)
{
    m_scheduler.SetMessages(languageChanged);
}

QString frmMain::message(TextId id) const
{
    return m_state.Messages.value(id - HelpQuestion);
}

void frmMain::ApplyBackColor()
{
    const std::optional<QColor> color = BackColor::StoredBackColor(QApplication::palette(this));
    if (!color)
        return;
    // The frame, the option buttons and the check boxes take the window's background; the
    // edits, the list and the buttons paint with roles of their own and keep their colours.
    QPalette windowPalette = palette();
    windowPalette.setColor(QPalette::Window, *color);
    setPalette(windowPalette);
    Frame1->setAutoFillBackground(true);
}

void frmMain::cmdQuit_KeyDown(int key)
{
    if (key == Qt::Key_F12)
        modRegistry::StoreBackColor(QLatin1String(modRegistry::ButtonFaceColor));
    else if (key == Qt::Key_F11)
        modRegistry::StoreBackColor(QLatin1String(modRegistry::WhiteColor));
    ApplyBackColor();
}

void frmMain::SetFolderToolTips()
{
    dxText1->setToolTip(dxText1->text());
    dxText2->setToolTip(dxText2->text());
}

// ---- schedule --------------------------------------------------------------------------------

void frmMain::cmdStopStart_Click()
{
    m_scheduler.toggleSchedule();
    closeWhenRunEnds();
}

void frmMain::Timer1_Timer()
{
    m_scheduler.countMinute();
    closeWhenRunEnds();
}

void frmMain::Timer2_Timer()
{
    m_scheduler.blink();
}

void frmMain::FillIntervalList()
{
    m_scheduler.FillIntervalList();
}

void frmMain::CheckFolders()
{
    m_scheduler.CheckFolders();
}

void frmMain::RunTransfer()
{
    m_scheduler.RunTransfer();
    closeWhenRunEnds();
}

void frmMain::closeWhenRunEnds()
{
    if (!m_closeAfterRun || m_scheduler.isRunActive())
        return;
    m_closeAfterRun = false;
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

// ---- buttons -----------------------------------------------------------------------------------

void frmMain::cmdFrom_Click()
{
    browseInto(dxText1, SourceHeading);
}

void frmMain::cmdTo_Click()
{
    browseInto(dxText2, DestinationHeading);
}

void frmMain::browseInto(QLineEdit *field, TextId promptId)
{
    Seams::FolderRequest request;
    request.title = text(promptId) + QLatin1Char(':');
    request.initialFolder = field->text();
    request.owner = this;
    request.statusText = true;
    request.newStyle = true;
    request.includeFiles = false;
    const QString chosen = Seams::pickFolder(request);
    if (!chosen.isEmpty()) {
        field->setText(chosen);
        SetFolderToolTips();
    }
    CheckFolders();
}

void frmMain::cmdInfo_Click()
{
    Dialogs::ShowAbout(*this);
}

void frmMain::cmdOpt_Click()
{
    Dialogs::ShowOptions(optionsOwner());
}

dlgOptionen::Owner frmMain::optionsOwner()
{
    dlgOptionen::Owner owner;
    owner.window = this;
    owner.loadLanguage = [this] { LoadLanguage(); };
    owner.setMessages = [this](bool languageChanged) { SetMessages(languageChanged); };
    return owner;
}

void frmMain::cmdHelp_Click()
{
    const QString question = message(HelpQuestion) + CrLf + message(HelpQuestionTail);
    if (Seams::askYesNo(this, productTitle(), question))
        Seams::openUrl(QUrl(QLatin1String(modGlobal::HelpPageUrl)));
}

void frmMain::cmdQuit_Click()
{
    if (m_state.Started) {
        const QString question = message(QuitQuestion) + CrLf + message(QuitQuestionTail);
        if (!Seams::askYesNo(this, productTitle(), question))
            return;
        cmdStopStart_Click();
    }
    close();
}

// ---- log ---------------------------------------------------------------------------------------

void frmMain::dxCheck1_Change(bool checked)
{
    LogToggling = true;
    if (checked) {
        ShowLogArea();
    } else {
        HideLogArea();
        m_log.clear();
    }
    LogToggling = false;
}

void frmMain::ShowLogArea()
{
    setLogLayout(true);
}

void frmMain::HideLogArea()
{
    setLogLayout(false);
}

void frmMain::setLogLayout(bool shown)
{
    const int cut = shown ? 0 : LogAreaTwips;
    List1->setVisible(shown);
    Label4->setVisible(shown);
    Frame1->resize(Frame1->width(), Twips::ToPixelsY(FrameHeightShownTwips - cut, this));
    const int buttonTop = Twips::ToPixelsY(ButtonTopShownTwips - cut, this);
    for (QWidget *button :
        {static_cast<QWidget *>(cmdStopStart), static_cast<QWidget *>(cmdQuit),
            static_cast<QWidget *>(cmdOpt), static_cast<QWidget *>(cmdHelp), static_cast<QWidget *>(cmdInfo)})
        button->move(button->x(), buttonTop);
    setFixedSize(width(), Twips::ToPixelsY(ClientHeightTwips - cut, this));
}

void frmMain::followSelectedLine(int row)
{
    // The list lays out all its lines whenever it is asked to show one; a run selects two
    // lines per file, so the list follows once per round of events, not once per line.
    m_followRow = row;
    if (m_followPending)
        return;
    m_followPending = true;
    QMetaObject::invokeMethod(this, &frmMain::showSelectedLine, Qt::QueuedConnection);
}

void frmMain::showSelectedLine()
{
    m_followPending = false;
    if (m_followRow < 0 || m_followRow >= m_log.lineCount()) {
        List1->clearSelection();
        return;
    }
    const QModelIndex line = m_log.index(m_followRow);
    List1->setCurrentIndex(line);
    List1->scrollTo(line);
}

void frmMain::List1_MouseMove(Qt::MouseButtons buttons, const QPoint &position)
{
    if (buttons != Qt::NoButton)
        return;
    const QModelIndex line = List1->indexAt(position);
    const QString tip = line.isValid() ? m_log.line(line.row()) : QString();
    List1->setToolTip(tip);
    List1->viewport()->setToolTip(tip);
}

// ---- tray, minimise, restore ------------------------------------------------------------------------

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmMain::Form_Resize()
{
    if (LogToggling || InResize)
        return;
    InResize = true;
    // Without a notification area the window minimises to the task bar, or it could not come back.
    if (Settings::trayWanted() && isMinimized() && Seams::trayAvailable())
        minimiseToTray();
    InResize = false;
}

void frmMain::minimiseToTray()
{
    sevTray1->setIcon(windowIcon());
    sevTray1->setToolTip(windowTitle());
    sevTray1->show();
    // Hidden, the window also leaves the task bar. Hiding is left until the minimise is done.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isMinimized())
                hide();
        },
        Qt::QueuedConnection);
}

void frmMain::sevTray1_Activate()
{
    restoreFromTray();
}

void frmMain::restoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    sevTray1->hide();
    raise();
    activateWindow();
    SetTopMost(false);
}

void frmMain::SetTopMost(bool on)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on)
        return;
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    // Changing the flags hides the window; it comes back where it was.
    show();
}

void frmMain::sevTray1_MouseUp(int button)
{
    if (button != RightButton)
        return;
    m_trayMenu.clear();
    m_trayMenu.addAction(message(TrayOpen))->setData(QStringLiteral("open"));
    m_trayMenu.addAction(message(TrayExit))->setData(QStringLiteral("exit"));
    m_trayMenu.popup(QCursor::pos());
}

void frmMain::sevTray1_MenuClick(const QString &key)
{
    if (key == QLatin1String("open"))
        restoreFromTray();
    else if (key == QLatin1String("exit"))
        cmdQuit_Click();
}

// ---- show and close ----------------------------------------------------------------------------

void frmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    WindowPlacement::CenterForm(this, nullptr);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_scheduler.isRunActive()) {
        // The run finishes its file and writes its summary; the window closes after it.
        m_state.StopRequested = true;
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    Form_Unload();
    sevTray1->hide();
    event->accept();
    emit unloaded();
}

void frmMain::Form_Unload()
{
    bool save = false;
    if (Settings::askToSaveOnClosing())
        save = Seams::askYesNo(this, productTitle() + QLatin1String(" - ") + text(SaveQuestionTitle),
            text(SaveQuestion) + QLatin1Char('?'));
    else
        save = Settings::saveOnClosing();
    if (save)
        SaveSettings();
}

// Values the window does not know (another case, another word) leave its controls as they are.
void frmMain::LoadSettings()
{
    // The interval list is filled first; it selects the stored interval itself.
    FillIntervalList();
    const WindowSettings::Values values = WindowSettings::Load();
    dxText1->setText(values.sourceFolder);
    dxText2->setText(values.destinationFolder);
    if (values.move) {
        dxOption1[0]->setChecked(*values.move);
        dxOption1[1]->setChecked(!*values.move);
    }
    if (values.showLog) {
        dxCheck1->setChecked(*values.showLog);
        if (*values.showLog)
            ShowLogArea();
        else
            HideLogArea();
    }
    if (values.overwrite)
        dxCheck2->setChecked(*values.overwrite);
}

void frmMain::SaveSettings()
{
    WindowSettings::Values values;
    values.sourceFolder = dxText1->text();
    values.destinationFolder = dxText2->text();
    values.interval
        = WindowSettings::IntervalValue(dxCombo1->currentText(), text(MinuteWord), text(MinutesWord));
    values.move = dxOption1[0]->isChecked();
    values.showLog = dxCheck1->isChecked();
    values.overwrite = dxCheck2->isChecked();
    WindowSettings::Save(values);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cmdQuit && event->type() == QEvent::KeyPress)
        cmdQuit_KeyDown(static_cast<QKeyEvent *>(event)->key());
    else if (watched == List1->viewport() && event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        List1_MouseMove(move->buttons(), move->position().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

// ---- MainWindowHost ------------------------------------------------------------------------------

QString frmMain::sourceFolderText() const
{
    return dxText1->text();
}

QString frmMain::destinationFolderText() const
{
    return dxText2->text();
}

bool frmMain::moveSelected() const
{
    return dxOption1[0]->isChecked();
}

bool frmMain::overwriteChecked() const
{
    return dxCheck2->isChecked();
}

QString frmMain::intervalText() const
{
    return dxCombo1->currentText();
}

void frmMain::setWindowCaption(const QString &caption)
{
    setWindowTitle(caption);
}

void frmMain::setRunInputsEnabled(bool enabled)
{
    for (QWidget *input :
        {static_cast<QWidget *>(dxText1), static_cast<QWidget *>(dxText2), static_cast<QWidget *>(cmdFrom),
            static_cast<QWidget *>(cmdTo), static_cast<QWidget *>(cmdQuit), static_cast<QWidget *>(dxCombo1),
            static_cast<QWidget *>(dxCheck1), static_cast<QWidget *>(dxCheck2)})
        input->setEnabled(enabled);
}

void frmMain::setStopStartCaption(const QString &caption)
{
    cmdStopStart->setText(caption);
}

void frmMain::setStopStartPicture(const QString &iconFile)
{
    if (iconFile.isEmpty()) {
        cmdStopStart->setIcon(QIcon());
        return;
    }
    auto cached = m_pictures.constFind(iconFile);
    if (cached == m_pictures.constEnd()) {
        const QPixmap picture(iconFile);
        if (picture.isNull())
            return;
        cached = m_pictures.insert(iconFile, QIcon(picture));
    }
    cmdStopStart->setIcon(*cached);
}

void frmMain::setStopStartEnabled(bool enabled)
{
    cmdStopStart->setEnabled(enabled);
}

void frmMain::setTextColor(QWidget *field, const QColor &color)
{
    QPalette colors = field->palette();
    colors.setColor(QPalette::Active, QPalette::Text, color);
    colors.setColor(QPalette::Inactive, QPalette::Text, color);
    field->setPalette(colors);
}

void frmMain::setFolderTextColor(FolderField field, TextColor color)
{
    setTextColor(
        field == FolderField::Source ? dxText1 : dxText2, color == TextColor::Red ? Qt::red : Qt::black);
}

void frmMain::SetScheduleControls(bool unlocked)
{
    dxText1->setReadOnly(!unlocked);
    dxText2->setReadOnly(!unlocked);
    dxCombo1->setReadOnly(!unlocked);
    for (QWidget *input :
        {static_cast<QWidget *>(cmdFrom), static_cast<QWidget *>(cmdTo), static_cast<QWidget *>(dxOption1[0]),
            static_cast<QWidget *>(dxOption1[1]), static_cast<QWidget *>(dxCheck2)})
        input->setEnabled(unlocked);
}

void frmMain::setIntervalEntries(const QStringList &entries)
{
    dxCombo1->clear();
    dxCombo1->addItems(entries);
    dxCombo1->condenseToFitEntries();
}

void frmMain::setIntervalText(const QString &text)
{
    const int entry = dxCombo1->findText(text);
    if (entry >= 0)
        dxCombo1->setCurrentIndex(entry);
    dxCombo1->setEditText(text);
    showIntervalFromStart();
}

void frmMain::showIntervalFromStart()
{
    // The number must stay in sight even where the minute word is too wide for the field.
    dxCombo1->lineEdit()->setCursorPosition(0);
}

void frmMain::setIntervalTextRed(bool red)
{
    m_intervalRed = red;
    setTextColor(dxCombo1->lineEdit(), red ? Qt::red : Qt::black);
}

void frmMain::setTimer1Enabled(bool enabled)
{
    if (enabled)
        Timer1.start();
    else
        Timer1.stop();
}

void frmMain::setTimer2Enabled(bool enabled)
{
    if (enabled)
        Timer2.start();
    else
        Timer2.stop();
}

void frmMain::setBusyPointer(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void frmMain::processEvents()
{
    QCoreApplication::processEvents();
}
