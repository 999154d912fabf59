#pragma once
// The window's interface language. Its own texts are written in Chinese; English
// comes from a translation catalogue built into the program. The library's texts
// are shown through the library's message catalogue in the same language.
#include <QString>
#include <string>
#include <string_view>

#include "base/texts.h"

namespace velmora::app {

enum class Language { kChinese, kEnglish, kSystem };

// The settings file's form: "zh", "en", "system". An unknown key is Chinese.
std::string LanguageKey(Language language);
Language LanguageFromKey(std::string_view key);

// The language the window starts in from the settings in `home`: the one kept
// there, or the system's when none is kept (a new settings file included).
Language StartLanguage(const std::string& home);

// Whether `language` shows the English texts on a system whose messages'
// language is `system`. The system is read as the command line reads it
// (LC_ALL, LC_MESSAGES, LANG: zh* Chinese, anything else English), so that
// both front ends speak the same language on one machine.
bool ShowsEnglish(Language language, text::Lang system = text::LangFromEnvironment());

// Installs (or removes) the English catalogue on the application; every widget
// gets a LanguageChange event. False when English was asked for and the
// catalogue could not be loaded (the texts stay Chinese).
bool ApplyLanguage(Language language);
Language CurrentLanguage();
// The applied language as the message catalogue names it.
text::Lang CurrentTextLang();

// The name of a language in its own words, as the language menu shows it.
QString LanguageName(Language language);

}  // namespace velmora::app
