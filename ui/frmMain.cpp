#include "ui/frmMain.h"

#include "config/Settings.h"
#include "config/WindowSettings.h"
#include "config/modGlobal.h"
#include "config/modRegistry.h"
#include "ui/Accessibility.h"
#include "ui/BackColor.h"
#include "ui/Dialogs.h"
#include "ui/Seams.h"
#include "ui/Twips.h"
#include "ui/WindowPlacement.h"
#include "ui/modAppIcon.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QUrl>
#include <optional>

namespace
{

using namespace FrmMainTexts;

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
    , m_ui(std::make_unique<Ui::frmMain>())
    , m_tray(*this, m_texts)
    , m_port({*this, *m_ui, dxOption1, Timer1, Timer2, m_tray},
          {[this](bool source, bool destination) { showFolders(source, destination); },
              [this] { showIntervalRefused(); }})
    , m_scheduler(m_port, m_log, m_texts)
{
    setUpWindow();
    setUpTimers();
    connectControls();
    Form_Load(arguments);
}

frmMain::~frmMain() = default;

// ---- construction ----------------------------------------------------------------------------

void frmMain::setUpWindow()
{
    Accessibility::InstallInterfaces();
    m_ui->setupUi(this);
    dxOption1 = {m_ui->dxOption1_0, m_ui->dxOption1_1};
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    Twips::FitFormToDpi(this);
    setFixedSize(Twips::ToPixelsX(ClientWidthTwips, this), Twips::ToPixelsY(ClientHeightTwips, this));

    // Each heading labels its control, for a screen reader too.
    const std::initializer_list<std::pair<QLabel *, QWidget *>> headings = {{m_ui->Label1, m_ui->dxText1},
        {m_ui->Label2, m_ui->dxText2}, {m_ui->Label3, m_ui->dxCombo1}, {m_ui->Label4, m_ui->List1}};
    for (const auto &[label, control] : headings) {
        label->setTextFormat(Qt::PlainText);
        label->setBuddy(control);
    }
    m_ui->List1->setLog(&m_log);
    m_ui->List1->viewport()->setMouseTracking(true);
    m_ui->List1->viewport()->installEventFilter(this);
    m_ui->cmdQuit->installEventFilter(this);
}

void frmMain::setUpTimers()
{
    Timer1.setInterval(60000);
    Timer2.setInterval(500);
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &frmMain::Timer2_Timer);
    Timer1.start();
}

void frmMain::connectControls()
{
    connect(&m_tray, &TrayPresence::activated, this, &frmMain::sevTray1_Activate);
    connect(&m_tray, &TrayPresence::menuChosen, this, &frmMain::sevTray1_MenuClick);
    connect(&m_tray, &TrayPresence::notificationClicked, this, &frmMain::sevTray1_MessageClick);
    // After the schedule's own answer, which may have run the transfer.
    connect(&m_scheduler.arrivalWatcher(), &ArrivalWatcher::arrived, this, [this] { closeWhenRunEnds(); });
    connect(m_ui->cmdStopStart, &QPushButton::clicked, this, &frmMain::cmdStopStart_Click);
    connect(m_ui->cmdFrom, &QPushButton::clicked, this, &frmMain::cmdFrom_Click);
    connect(m_ui->cmdTo, &QPushButton::clicked, this, &frmMain::cmdTo_Click);
    connect(m_ui->cmdInfo, &QPushButton::clicked, this, &frmMain::cmdInfo_Click);
    connect(m_ui->cmdOpt, &QPushButton::clicked, this, &frmMain::cmdOpt_Click);
    connect(m_ui->cmdHelp, &QPushButton::clicked, this, &frmMain::cmdHelp_Click);
    connect(m_ui->cmdQuit, &QPushButton::clicked, this, &frmMain::cmdQuit_Click);
    // Only the user's clicks switch the log; the settings set the box and the layout together.
    connect(m_ui->dxCheck1, &QCheckBox::clicked, this, &frmMain::dxCheck1_Change);
    // Start follows what is typed, not only what a folder button chose.
    for (QLineEdit *field : {m_ui->dxText1, m_ui->dxText2}) {
        connect(field, &QLineEdit::textEdited, this, [this] {
            CheckFolders();
            SetFolderToolTips();
        });
    }
    for (QRadioButton *option : dxOption1)
        connect(option, &QRadioButton::toggled, this, &frmMain::keepTabOnChosenOption);
    connect(m_ui->dxCombo1, &QComboBox::activated, this, [this] { m_port.showIntervalFromStart(); });
    connect(m_ui->dxCombo1, &QComboBox::editTextChanged, this, [this] {
        if (m_intervalRed)
            showIntervalInRed(false);
    });
}

// ---- load, language, colours -------------------------------------------------------------------

void frmMain::Form_Load(const QStringList &arguments)
{
    modAppIcon::SetIcon(this, QStringLiteral("AAA"), true);
    LoadLanguage();
    m_port.showCaption(productTitle() + QLatin1String(" - ") + text(StateStopped));
    LoadSettings();
    CheckFolders();
    SetFolderToolTips();
    // The schedule starts once the window is on screen: a first run at the start could
    // otherwise copy for minutes with nothing to see or cancel.
    m_startWhenShown
        = arguments.join(QLatin1Char(' ')) == QLatin1String("/s") && m_ui->cmdStopStart->isEnabled();
    ApplyBackColor();
}

void frmMain::LoadLanguage()
{
    m_texts.load();
    m_ui->Label1->setText(text(SourceHeading));
    m_ui->Label2->setText(text(DestinationHeading));
    m_ui->Label3->setText(text(IntervalHeading));
    m_ui->Label4->setText(text(LogHeading));
    dxOption1[0]->setText(text(MoveOption));
    dxOption1[1]->setText(text(CopyOption));
    m_ui->dxCheck2->setText(text(OverwriteBox));
    m_ui->dxCheck1->setText(text(ShowLogBox));
    m_ui->cmdStopStart->setText(text(ButtonStopped));
    m_ui->cmdQuit->setCaption(text(QuitCaption));
    m_ui->cmdOpt->setCaption(text(OptionsCaption));
    nameControls();
    m_tray.retext();
}

// The controls without a text of their own get their tooltips and the names that a screen
// reader speaks from the language file too; the others are named by their texts.
void frmMain::nameControls()
{
    m_ui->cmdInfo->setToolTip(text(AboutCaption));
    m_ui->cmdHelp->setToolTip(text(HelpButtonTip));
    m_ui->cmdFrom->setToolTip(text(SourceButtonTip));
    m_ui->cmdTo->setToolTip(text(DestinationButtonTip));
    const std::initializer_list<std::pair<QWidget *, TextId>> names = {{m_ui->dxText1, SourceHeading},
        {m_ui->cmdFrom, SourceButtonTip}, {m_ui->dxText2, DestinationHeading},
        {m_ui->cmdTo, DestinationButtonTip}, {m_ui->dxCombo1, IntervalHeading}, {m_ui->List1, LogHeading},
        {m_ui->cmdInfo, AboutCaption}, {m_ui->cmdHelp, HelpButtonTip}};
    for (const auto &[control, id] : names)
        control->setAccessibleName(text(id));
}

// The two options are one stop of the Tab key, at the chosen one; the arrow keys move between
// them. (Qt moves the stop only once one of them had the focus.)
void frmMain::keepTabOnChosenOption()
{
    const bool oneChosen = dxOption1[0]->isChecked() || dxOption1[1]->isChecked();
    for (QRadioButton *option : dxOption1)
        option->setFocusPolicy(option->isChecked() || !oneChosen ? Qt::StrongFocus : Qt::ClickFocus);
}

void frmMain::SetMessages(bool languageChanged)
{
    m_scheduler.SetMessages(languageChanged);
    // The options dialog may have switched the notification area on or off.
    m_tray.update();
}

void frmMain::ApplyBackColor()
{
    const std::optional<QColor> color = BackColor::StoredBackColor(QApplication::palette(this));
    if (!color)
        return;
    // The frame, the option buttons and the check boxes take the window's background, and the
    // labels on it a text colour that reads there; the edits, the list and the buttons paint
    // with roles of their own and keep their colours.
    setPalette(BackColor::WithBackColor(palette(), *color, QApplication::palette(this)));
    m_ui->Frame1->setAutoFillBackground(true);
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
    m_ui->dxText1->setToolTip(m_ui->dxText1->text());
    m_ui->dxText2->setToolTip(m_ui->dxText2->text());
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
    browseInto(m_ui->dxText1, SourceHeading);
}

void frmMain::cmdTo_Click()
{
    browseInto(m_ui->dxText2, DestinationHeading);
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
    owner.openLogFile = [this] { openLogFile(); };
    return owner;
}

// With the lines that still wait written first.
void frmMain::openLogFile()
{
    LogFile &file = m_scheduler.logFile();
    file.flushForReading();
    if (!file.path().isEmpty())
        Seams::openUrl(QUrl::fromLocalFile(file.path()));
}

void frmMain::cmdHelp_Click()
{
    const QString question = text(HelpQuestion) + CrLf + text(HelpQuestionTail);
    if (Seams::askYesNo(this, productTitle(), question))
        Seams::openUrl(QUrl(QLatin1String(modGlobal::HelpPageUrl)));
}

void frmMain::cmdQuit_Click()
{
    if (m_scheduler.isStarted()) {
        const QString question = text(QuitQuestion) + CrLf + text(QuitQuestionTail);
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
    m_ui->List1->setVisible(shown);
    m_ui->Label4->setVisible(shown);
    m_ui->Frame1->resize(m_ui->Frame1->width(), Twips::ToPixelsY(FrameHeightShownTwips - cut, this));
    const int buttonTop = Twips::ToPixelsY(ButtonTopShownTwips - cut, this);
    for (QWidget *button : {static_cast<QWidget *>(m_ui->cmdStopStart), static_cast<QWidget *>(m_ui->cmdQuit),
             static_cast<QWidget *>(m_ui->cmdOpt), static_cast<QWidget *>(m_ui->cmdHelp),
             static_cast<QWidget *>(m_ui->cmdInfo)})
        button->move(button->x(), buttonTop);
    setFixedSize(width(), Twips::ToPixelsY(ClientHeightTwips - cut, this));
}

void frmMain::List1_MouseMove(Qt::MouseButtons buttons, const QPoint &position)
{
    if (buttons != Qt::NoButton)
        return;
    const QModelIndex line = m_ui->List1->indexAt(position);
    const QString tip = line.isValid() ? m_log.line(line.row()) : QString();
    m_ui->List1->setToolTip(tip);
    m_ui->List1->viewport()->setToolTip(tip);
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
    m_tray.windowStateChanged();
    InResize = false;
}

void frmMain::sevTray1_Activate()
{
    m_tray.restore();
}

void frmMain::sevTray1_MessageClick()
{
    m_tray.restore();
    if (!m_ui->dxCheck1->isChecked()) {
        m_ui->dxCheck1->setChecked(true);
        dxCheck1_Change(true);
    }
}

void frmMain::sevTray1_MouseUp(int button)
{
    m_tray.buttonUp(button);
}

void frmMain::sevTray1_MenuClick(const QString &key)
{
    if (key == QLatin1String("open"))
        m_tray.restore();
    else if (key == QLatin1String("log"))
        openLogFile();
    else if (key == QLatin1String("exit"))
        cmdQuit_Click();
}

// ---- show and close ----------------------------------------------------------------------------

void frmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_tray.update();
    if (m_startWhenShown) {
        m_startWhenShown = false;
        QMetaObject::invokeMethod(this, &frmMain::startFromCommandLine, Qt::QueuedConnection);
    }
    if (m_centred)
        return;
    m_centred = true;
    WindowPlacement::CenterForm(this, nullptr);
}

void frmMain::startFromCommandLine()
{
    if (m_ui->cmdStopStart->isEnabled() && !m_scheduler.isStarted())
        cmdStopStart_Click();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (m_scheduler.isRunActive()) {
        // The run finishes its file and writes its summary; the window closes after it.
        m_scheduler.cancelRun();
        m_closeAfterRun = true;
        event->ignore();
        return;
    }
    Form_Unload();
    m_tray.remove();
    event->accept();
    emit unloaded();
}

void frmMain::Form_Unload()
{
    const bool save = Settings::askToSaveOnClosing()
        ? Seams::askYesNo(this, productTitle() + QLatin1String(" - ") + text(SaveQuestionTitle),
            text(SaveQuestion) + QLatin1Char('?'))
        : Settings::saveOnClosing();
    if (save)
        SaveSettings();
}

// Values the window does not know (another case, another word) leave its controls as they are.
void frmMain::LoadSettings()
{
    // The interval list is filled first; it selects the stored interval itself.
    FillIntervalList();
    const WindowSettings::Values values = WindowSettings::Load();
    m_ui->dxText1->setText(values.sourceFolder);
    m_ui->dxText2->setText(values.destinationFolder);
    if (values.move) {
        dxOption1[0]->setChecked(*values.move);
        dxOption1[1]->setChecked(!*values.move);
    }
    if (values.showLog) {
        m_ui->dxCheck1->setChecked(*values.showLog);
        if (*values.showLog)
            ShowLogArea();
        else
            HideLogArea();
    }
    if (values.overwrite)
        m_ui->dxCheck2->setChecked(*values.overwrite);
    keepTabOnChosenOption();
}

void frmMain::SaveSettings()
{
    WindowSettings::Values values;
    values.sourceFolder = m_ui->dxText1->text();
    values.destinationFolder = m_ui->dxText2->text();
    values.interval
        = WindowSettings::IntervalValue(m_ui->dxCombo1->currentText(), text(MinuteWord), text(MinutesWord));
    values.move = dxOption1[0]->isChecked();
    values.showLog = m_ui->dxCheck1->isChecked();
    values.overwrite = m_ui->dxCheck2->isChecked();
    WindowSettings::Save(values);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->cmdQuit && event->type() == QEvent::KeyPress)
        cmdQuit_KeyDown(static_cast<QKeyEvent *>(event)->key());
    else if (watched == m_ui->List1->viewport() && event->type() == QEvent::MouseMove) {
        const auto *move = static_cast<QMouseEvent *>(event);
        List1_MouseMove(move->buttons(), move->position().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

// ---- colours of the schedule's answers ----------------------------------------------------

void frmMain::showFolders(bool sourceExists, bool destinationExists)
{
    showInRed(m_ui->dxText1, !sourceExists);
    showInRed(m_ui->dxText2, !destinationExists);
}

// Red marks what is wrong; otherwise the field keeps no colour of its own and so paints in the
// theme's text colour, dark or light, also after the theme changed.
void frmMain::showInRed(QWidget *field, bool red)
{
    QPalette colors;
    if (red) {
        colors.setColor(QPalette::Active, QPalette::Text, Qt::red);
        colors.setColor(QPalette::Inactive, QPalette::Text, Qt::red);
    }
    field->setPalette(colors);
}

// A refused interval stays red until the user changes it.
void frmMain::showIntervalRefused()
{
    showIntervalInRed(true);
}

void frmMain::showIntervalInRed(bool red)
{
    m_intervalRed = red;
    showInRed(m_ui->dxCombo1->lineEdit(), red);
    // Red alone does not say what is wrong.
    const QString range = QString::number(Scheduler::MinimumInterval) + QChar(0x2013)
        + QString::number(Scheduler::MaximumInterval);
    m_ui->dxCombo1->setToolTip(red
            ? text(IntervalRange) + QLatin1String(": ") + range + QLatin1Char(' ') + text(MinutesWord)
            : QString());
}
