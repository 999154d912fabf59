#include "app/language_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

namespace velmora::app {

QActionGroup* BuildLanguageMenu(QToolButton* button, QObject* owner,
                                std::function<void(Language)> chosen) {
    auto* menu = new QMenu(button);
    auto* actions = new QActionGroup(owner);
    actions->setExclusive(true);
    for (const Language language : {Language::kChinese, Language::kEnglish, Language::kSystem}) {
        QAction* action = menu->addAction(LanguageName(language));
        action->setCheckable(true);
        action->setData(static_cast<int>(language));
        actions->addAction(action);
        QObject::connect(action, &QAction::triggered, owner,
                         [chosen, language] { chosen(language); });
    }
    button->setMenu(menu);
    return actions;
}

void RetranslateLanguageMenu(QToolButton* button, QActionGroup* actions, Language current) {
    // In Chinese both names, so that an operator who reads only English finds
    // it; in English the menu's "中文" entry is there for the other reader.
    button->setText(QCoreApplication::translate("LanguageMenu", "语言 Language"));
    for (QAction* action : actions->actions()) {
        const auto language = static_cast<Language>(action->data().toInt());
        action->setText(LanguageName(language));
        action->setChecked(language == current);
    }
}

}  // namespace velmora::app
