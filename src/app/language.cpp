#include "app/language.h"

#include <QCoreApplication>
#include <QTranslator>
#include <memory>
#include <string_view>

namespace velmora::app {

namespace {

Language g_language = Language::kChinese;

// The catalogue names a class's texts by the bare class name (the translation
// tools do not read `namespace a::b` definitions), while tr() asks with the
// qualified one: the namespace is dropped before the lookup.
class WindowTranslator : public QTranslator {
  public:
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        constexpr std::string_view kNamespace = "velmora::app::";
        if (context && std::string_view(context).substr(0, kNamespace.size()) == kNamespace) {
            context += kNamespace.size();
        }
        return QTranslator::translate(context, source, disambiguation, n);
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

bool ShowsEnglish(Language language, const QLocale& system) {
    switch (language) {
        case Language::kChinese:
            return false;
        case Language::kEnglish:
            return true;
        case Language::kSystem:
            break;
    }
    return system.language() != QLocale::Chinese;
}

bool ApplyLanguage(Language language) {
    g_language = language;
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
    return true;
}

Language CurrentLanguage() {
    return g_language;
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
