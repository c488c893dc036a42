#pragma once

#include "config/LanguageCatalogue.h"

// The texts of section dlgLangSelect of the language files: the first start's language dialog.
namespace DlgLangSelectTexts
{

inline constexpr const char *Section = "dlgLangSelect";

enum TextId : int {
    Caption = 0, // after "Tessaro Lite - "
    Prompt = 1,
    Hint = 2,
    OkButton = 3,
};

inline QString Text(TextId id)
{
    return LanguageCatalogue::Text(Section, id);
}

} // namespace DlgLangSelectTexts
