#include "ui/MainWindowPort.h"

#include "ui/TrayPresence.h"
#include "ui/modAppIcon.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QTimer>

MainWindowPort::MainWindowPort(Parts parts, Colours colours)
    : m_parts(parts)
    , m_colours(std::move(colours))
{
}

MainWindowPort::~MainWindowPort()
{
    showBusy(false);
}

ScheduleWindow::TransferRequest MainWindowPort::transferRequest() const
{
    const Ui::frmMain &form = m_parts.form;
    return {form.dxText1->text(), form.dxText2->text(), m_parts.options[0]->isChecked(),
        form.dxCheck2->isChecked()};
}

QString MainWindowPort::intervalText() const
{
    return m_parts.form.dxCombo1->currentText();
}

void MainWindowPort::showCaption(const QString &caption)
{
    m_parts.window.setWindowTitle(caption);
    m_parts.tray.captionChanged();
}

void MainWindowPort::showStartStop(const QString &text)
{
    m_parts.form.cmdStopStart->setText(text);
}

void MainWindowPort::showStartStopPicture(const QString &iconFile)
{
    if (iconFile.isEmpty()) {
        m_parts.form.cmdStopStart->setIcon(QIcon());
        return;
    }
    // A picture that cannot be read leaves the one shown.
    const QIcon picture = modAppIcon::PictureFile(iconFile);
    if (!picture.isNull())
        m_parts.form.cmdStopStart->setIcon(picture);
}

void MainWindowPort::allowStartStop(bool allowed)
{
    m_parts.form.cmdStopStart->setEnabled(allowed);
}

void MainWindowPort::showFolders(bool sourceExists, bool destinationExists)
{
    m_colours.showFolders(sourceExists, destinationExists);
}

void MainWindowPort::lockScheduleInputs(bool locked)
{
    Ui::frmMain &form = m_parts.form;
    form.dxText1->setReadOnly(locked);
    form.dxText2->setReadOnly(locked);
    form.dxCombo1->setReadOnly(locked);
    for (QWidget *input : std::initializer_list<QWidget *> {
             form.cmdFrom, form.cmdTo, m_parts.options[0], m_parts.options[1], form.dxCheck2})
        input->setEnabled(!locked);
}

void MainWindowPort::lockRunInputs(bool locked)
{
    Ui::frmMain &form = m_parts.form;
    for (QWidget *input : std::initializer_list<QWidget *> {form.dxText1, form.dxText2, form.cmdFrom,
             form.cmdTo, form.cmdQuit, form.dxCombo1, form.dxCheck1, form.dxCheck2})
        input->setEnabled(!locked);
}

void MainWindowPort::offerIntervals(const QStringList &choices)
{
    m_parts.form.dxCombo1->clear();
    m_parts.form.dxCombo1->addItems(choices);
    m_parts.form.dxCombo1->condenseToFitEntries();
}

void MainWindowPort::showInterval(const QString &text)
{
    PickEdit *interval = m_parts.form.dxCombo1;
    const int entry = interval->findText(text);
    if (entry >= 0)
        interval->setCurrentIndex(entry);
    interval->setEditText(text);
    showIntervalFromStart();
}

void MainWindowPort::showIntervalFromStart()
{
    m_parts.form.dxCombo1->lineEdit()->setCursorPosition(0);
}

void MainWindowPort::showIntervalRefused()
{
    m_colours.showIntervalRefused();
}

void MainWindowPort::runMinuteTimer(bool on)
{
    on ? m_parts.minuteTimer.start() : m_parts.minuteTimer.stop();
}

void MainWindowPort::runBlinkTimer(bool on)
{
    on ? m_parts.blinkTimer.start() : m_parts.blinkTimer.stop();
}

void MainWindowPort::showBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void MainWindowPort::showRunEnded(const RunReport &report)
{
    m_parts.tray.runEnded(report);
}

void MainWindowPort::letEventsRun()
{
    QCoreApplication::processEvents();
}
