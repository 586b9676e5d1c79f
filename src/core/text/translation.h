#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text for the translators' catalogue where it is defined, without
// changing it; where it is shown, Tr looks it up. The catalogue's template is
// made by xgettext with the keywords N_ and Tr (see po/README in the README's
// "Translations").
// wx defines the same marker the same way.
#ifndef N_
#define N_(text) text
#endif

namespace tesselwick {

// Looks an English text of the program up in the user's language. A text
// without a translation, or any text before a translator is set (the
// command-line tool, the tests), comes back as it is, the same pointer. The
// text returned lives as long as the program. Safe from any thread.
const char* Tr(const char* text);

// What looks texts up: given an English text (UTF-8), its translation.
using Translator = std::function<std::string(const char* text)>;
// Sets the translator once, at start-up; an empty one turns lookups off.
void SetTranslator(Translator translator);

// Fills a pattern's placeholders "%1$s" to "%9$s" with `values` (the first
// value for "%1$s"); "%%" stands for "%". A translation may put the
// placeholders in another order. A placeholder without a value stays as it is.
std::string FormatText(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace tesselwick
