#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

class QuestionBox;
class UrlOpener;

// The launcher's only window. It stays hidden: its load asks the question, opens the update
// page on Yes, and three seconds later Timer1 unloads it, which ends the program.
class frmUpdate : public QWidget
{
    Q_OBJECT

public:
    frmUpdate(const QString &argumentText, QuestionBox &questionBox, UrlOpener &urlOpener,
        QWidget *parent = nullptr);

    // Runs once, at program start.
    void load();

    QTimer Timer1;

signals:
    void unloaded();

public slots:
    // The first tick unloads the window.
    void onTimer1Timeout();

private:
    QString argumentText;
    QuestionBox &questionBox;
    UrlOpener &urlOpener;
};
