#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// What the launcher asks of the desktop, one small interface each, so that tests can answer
// the question and record the address without windows or a browser.
class QuestionBox
{
public:
    virtual ~QuestionBox() = default;
    // True on Yes.
    virtual bool askYesNo(QWidget *owner, const QString &title, const QString &text) = 0;
};

class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // Whether the desktop managed to open the address does not matter to the launcher.
    virtual void open(const QUrl &address) = 0;
};

// A Yes/No message box without an icon, Yes being the default button.
class MessageQuestionBox : public QuestionBox
{
public:
    bool askYesNo(QWidget *owner, const QString &title, const QString &text) override;
};

// The desktop's web browser through QDesktopServices.
class DesktopUrlOpener : public UrlOpener
{
public:
    void open(const QUrl &address) override;
};
