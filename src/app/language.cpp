#include "app/language.h"

#include <QCoreApplication>
#include <QTranslator>
#include <atomic>
#include <memory>
#include <string_view>

#include "config/settings.h"

namespace velmora::app {

namespace {

Language g_language = Language::kChinese;
// What g_language came to when it was applied; job threads read it.
std::atomic<bool> g_english = false;

// tr() asks with the class's qualified name ("velmora::app::MainWindow"), as
// today's translation tools write it; a catalogue made by tools that did not
// read `namespace a::b` definitions names it bare, and is asked that way too.
class WindowTranslator : public QTranslator {
  public:
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        QString shown = QTranslator::translate(context, source, disambiguation, n);
        constexpr std::string_view kNamespace = "velmora::app::";
        if (shown.isEmpty() && context &&
            std::string_view(context).substr(0, kNamespace.size()) == kNamespace) {
            shown = QTranslator::translate(context + kNamespace.size(), source, disambiguation, n);
        }
        return shown;
    }
};

std::unique_ptr<QTranslator>& Installed() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

}  // namespace

std::string LanguageKey(Language language) {
    switch (language) {
        case Language::kChinese:
            break;
        case Language::kEnglish:
            return "en";
        case Language::kSystem:
            return "system";
    }
    return "zh";
}

Language LanguageFromKey(std::string_view key) {
    if (key == "en") {
        return Language::kEnglish;
    }
    if (key == "system") {
        return Language::kSystem;
    }
    return Language::kChinese;
}

Language StartLanguage(const std::string& home) {
    if (JobSettings stored;
        ReadSettingsFile(home, stored) && stored.language && !stored.language->empty()) {
        return LanguageFromKey(*stored.language);
    }
    return Language::kSystem;
}

bool ShowsEnglish(Language language, text::Lang system) {
    switch (language) {
        case Language::kChinese:
            return false;
        case Language::kEnglish:
            return true;
        case Language::kSystem:
            break;
    }
    return system == text::Lang::kEnglish;
}

bool ApplyLanguage(Language language) {
    g_language = language;
    g_english = false;
    std::unique_ptr<QTranslator>& installed = Installed();
    if (installed) {
        QCoreApplication::removeTranslator(installed.get());
        installed.reset();
    }
    if (!ShowsEnglish(language)) {
        return true;
    }
    std::unique_ptr<QTranslator> translator = std::make_unique<WindowTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/velmora_en.qm"))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    installed = std::move(translator);
    g_english = true;
    return true;
}

Language CurrentLanguage() {
    return g_language;
}

text::Lang CurrentTextLang() {
    return g_english ? text::Lang::kEnglish : text::Lang::kChinese;
}

QString LanguageName(Language language) {
    switch (language) {
        case Language::kChinese:
            break;
        case Language::kEnglish:
            return QStringLiteral("English");
        case Language::kSystem:
            return QCoreApplication::translate("MainWindow", "跟随系统");
    }
    return QStringLiteral("中文");
}

}  // namespace velmora::app
