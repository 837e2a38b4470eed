#include "view/ViewAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <vector>

#include "view/CommunicationView.h"

namespace {
// The editor's accessible counts every character before the caret at each
// screen update: milliseconds per MiB at every scroll step and after every
// caret move. Qt builds accessibles even when no assistive tool listens, so
// until one does the view gets a plain one; when one starts, the plain ones
// go and the editor's own, with its text, is built on the next query.
std::vector<QPointer<CCommunicationView>> g_views;

QAccessibleInterface* PlainViewAccessible(const QString&, QObject* object) {
    auto* view = qobject_cast<CCommunicationView*>(object);
    if (!view || QAccessible::isActive()) return nullptr;
    return new QAccessibleWidget(view, QAccessible::EditableText);
}

// Drops a view's cached accessible of the kind not wanted now.
void DropAccessible(CCommunicationView* view, bool wantText) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(view);
    if (iface && (iface->textInterface() != nullptr) != wantText)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

struct CAccessibilityWatch : QAccessible::ActivationObserver {
    void accessibilityActiveChanged(bool active) override {
        if (!active) return;
        std::erase_if(g_views, [](const QPointer<CCommunicationView>& v) { return v.isNull(); });
        for (const auto& view : g_views) DropAccessible(view, true);
    }
};

}  // namespace

void UsePlainAccessibleWhileUnused(CCommunicationView* view) {
    static const bool installed = [] {
        // After the editor's factory, so ours is asked first. The watch is
        // static, as Qt keeps a pointer to it for as long as the program runs.
        static CAccessibilityWatch watch;
        QAccessible::installFactory(PlainViewAccessible);
        QAccessible::installActivationObserver(&watch);
        return true;
    }();
    (void)installed;
    std::erase_if(g_views, [](const QPointer<CCommunicationView>& v) { return v.isNull(); });
    g_views.emplace_back(view);
    // One built while the editor was set up is the editor's own.
    if (!QAccessible::isActive()) DropAccessible(view, false);
}
