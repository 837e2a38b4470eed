// The plan view in the window: a dock on the right that follows the view's
// text and caret, opened and closed from the View menu and the command bar,
// remembered in the settings file.
#include <QAction>
#include <QLabel>
#include <QStatusBar>

#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "config/PlanSettings.h"
#include "ui/PlanDock.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

namespace {
PlanSettingsRecord Current(const CPlanDock* dock) {
    const CPlanLook& look = dock->Look();
    return {!dock->isHidden(),
            (look.names ? 1 : 0) | (look.codes ? 2 : 0) | (look.heights ? 4 : 0)};
}
}  // namespace

void RegisterPlanCommands() {
    CCommunicationApp* app = TheApp();
    CMainFrame* frame = app->Frame();
    CCommunicationView* view = app->View();
    CPlanSource source;
    source.text = [view] { return view->GetBytes(); };
    source.caretLine = [view] {
        int line = 0, index = 0;
        view->getCursorPosition(&line, &index);
        return static_cast<long>(line);
    };
    source.goToLine = [view](size_t line) {
        view->setCursorPosition(static_cast<int>(line), 0);
        view->ensureLineVisible(static_cast<int>(line));
    };
    source.title = [app] { return app->Doc() ? app->Doc()->Title() : QString(); };
    auto* dock = new CPlanDock(std::move(source), frame);
    dock->hide();
    frame->addDockWidget(Qt::RightDockWidgetArea, dock);

    // The pointer's ground coordinates, beside the lock-key panes while the plan is open.
    auto* pane = new QLabel(frame->statusBar());
    pane->setObjectName("PlanPointerPane");
    frame->statusBar()->insertPermanentWidget(1, pane);  // after the message pane
    pane->hide();
    QObject::connect(dock->Canvas(), &CPlanCanvas::PointerText, pane, &QLabel::setText);

    QAction* toggle = frame->Action(cmd::kViewPlan);
    toggle->setCheckable(true);
    const auto showState = [dock, toggle, pane] {
        toggle->setChecked(!dock->isHidden());
        pane->setVisible(!dock->isHidden());
    };
    QObject::connect(dock, &QDockWidget::visibilityChanged, toggle, showState);
    const auto save = [dock] { SavePlanSettings(Current(dock)); };
    RegisterCommand(
        cmd::kViewPlan,
        [dock, showState, save] {
            dock->setVisible(dock->isHidden());
            showState();
            save();
        },
        false);

    QObject::connect(view, &CCommunicationView::BytesChanged, dock, &CPlanDock::TextChanged);
    QObject::connect(view, &CCommunicationView::cursorPositionChanged, dock,
                     [dock](int line, int) { dock->CaretMoved(line); });

    const PlanSettingsRecord saved = LoadPlanSettings();
    dock->SetLabels(saved.Labels & 1, saved.Labels & 2, saved.Labels & 4);
    dock->setVisible(saved.Visible);
    showState();
    // Only the user's own choices are remembered; a window that closes or
    // minimises changes nothing.
    QObject::connect(dock, &CPlanDock::Closed, dock, save);
    QObject::connect(dock, &CPlanDock::LabelsChanged, dock, save);
}
