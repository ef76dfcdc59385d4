#include "app/shell/CWidgetTranslator.h"

#include "app/shell/CLanguage.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QWidget>

namespace tavik::app {

namespace {

// Sets the translation only when there is one, so an untranslated text causes no repaint.
// True when the text changed.
template <typename Get, typename Set> bool Replace(Get get, Set set) {
    const QString text = get();
    const QString translated = CLanguage::Tr(text);
    if (translated == text) {
        return false;
    }
    set(translated);
    return true;
}

// A window is sized to its Korean contents before it is shown; when translating made a text
// longer, a window that sizes itself to its contents is sized again, so that no button or
// label is cut short. A window the code sized itself keeps its size.
void FitTranslatedContents(QWidget& window) {
    if (!window.testAttribute(Qt::WA_Resized)) {
        if (QLayout* layout = window.layout()) {
            // The nested layouts still hold the Korean sizes until the layout runs again.
            layout->activate();
        }
        window.adjustSize();
        window.setAttribute(Qt::WA_Resized, false);
    }
}

} // namespace

bool CWidgetTranslator::TranslateWidget(QWidget& widget) {
    bool shownTextChanged = false;
    if (auto* label = qobject_cast<QLabel*>(&widget)) {
        shownTextChanged = Replace([label] { return label->text(); },
                                   [label](const QString& t) { label->setText(t); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(&widget)) {
        shownTextChanged = Replace([button] { return button->text(); },
                                   [button](const QString& t) { button->setText(t); });
    } else if (auto* group = qobject_cast<QGroupBox*>(&widget)) {
        shownTextChanged = Replace([group] { return group->title(); },
                                   [group](const QString& t) { group->setTitle(t); });
    }
    Replace([&widget] { return widget.accessibleName(); },
            [&widget](const QString& t) { widget.setAccessibleName(t); });
    Replace([&widget] { return widget.toolTip(); },
            [&widget](const QString& t) { widget.setToolTip(t); });
    if (widget.isWindow()) {
        Replace([&widget] { return widget.windowTitle(); },
                [&widget](const QString& t) { widget.setWindowTitle(t); });
    }
    return shownTextChanged;
}

bool CWidgetTranslator::TranslateTree(QWidget& window) {
    bool shownTextChanged = TranslateWidget(window);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        shownTextChanged = TranslateWidget(*child) || shownTextChanged;
    }
    return shownTextChanged;
}

bool CWidgetTranslator::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType()) {
        return false;
    }
    auto& widget = *static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show && widget.isWindow()) {
        if (TranslateTree(widget)) {
            FitTranslatedContents(widget);
        }
    } else if (event->type() == QEvent::Paint &&
               (qobject_cast<QLabel*>(&widget) || qobject_cast<QAbstractButton*>(&widget))) {
        // A text set while the window is up (a dialog's state, a button's key) is translated
        // before it is first painted.
        TranslateWidget(widget);
    }
    return false;
}

} // namespace tavik::app
