#pragma once

#include <QDialog>
#include <array>
#include <memory>

// The first start's question for the language. It speaks the language being picked as soon
// as it is picked; OK stores the choice in the settings file, closing it otherwise stores
// nothing.
class QLabel;
namespace Ui
{
class dlgLangSelect;
}

class dlgLangSelect : public QDialog
{
    Q_OBJECT

public:
    // The dialog lists the languages and presets "English" before it returns.
    explicit dlgLangSelect(QWidget *parent = nullptr);
    ~dlgLangSelect() override;

    // ---- event handlers --------------------------------------------------------------------
    void dxLanguage_Change();
    void cmdOK_Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::dlgLangSelect> m_ui;
    void Form_Load();
    void FillLanguageList();

    // Item 0: the prompt; item 1: the hint.
    std::array<QLabel *, 2> lblMsg {};
};
