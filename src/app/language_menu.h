#pragma once
// The language button's menu, as both windows show it.
#include <QActionGroup>
#include <QToolButton>
#include <functional>

#include "app/language.h"

namespace velmora::app {

// Gives `button` a menu of the languages, one checkable entry each, in a group
// owned by `owner`; picking one calls `chosen` with it.
QActionGroup* BuildLanguageMenu(QToolButton* button, QObject* owner,
                                std::function<void(Language)> chosen);

// Names the button and the entries (each in its own words) and ticks `current`.
void RetranslateLanguageMenu(QToolButton* button, QActionGroup* actions, Language current);

}  // namespace velmora::app
