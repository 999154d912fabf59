#pragma once
// The window's interface language. Its texts are written in Chinese; English
// comes from a translation catalogue built into the program.
#include <QLocale>
#include <QString>
#include <string>
#include <string_view>

namespace velmora::app {

enum class Language { kChinese, kEnglish, kSystem };

// The settings file's form: "zh", "en", "system". An unknown key is Chinese.
std::string LanguageKey(Language language);
Language LanguageFromKey(std::string_view key);

// Whether `language` shows the English texts on a system whose locale is `system`:
// the system locale means Chinese for a Chinese locale and English for any other.
bool ShowsEnglish(Language language, const QLocale& system = QLocale::system());

// Installs (or removes) the English catalogue on the application; every widget
// gets a LanguageChange event. False when English was asked for and the
// catalogue could not be loaded (the texts stay Chinese).
bool ApplyLanguage(Language language);
Language CurrentLanguage();

// The name of a language in its own words, as the language menu shows it.
QString LanguageName(Language language);

}  // namespace velmora::app
