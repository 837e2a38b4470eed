// Test doubles for the editing dialogs: a view held in a string, recorded
// messages, and scripted answers for every nested modal dialog (a dialog
// nobody scripted fails the test and is cancelled, so nothing waits for a click).
#pragma once

#include <QApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QString>
#include <QStringList>
#include <QTest>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>

#include "QtFiles_support.h"
#include "edit/EditState.h"
#include "ui/EditUi.h"
#include "ui/MessageSeam.h"

class CEditHarness {
public:
    using Answer = std::function<int(QDialog&)>;

    CEditHarness() {
        g_bNoUpdatePrompt = false;
        g_nCurRow = 0;
        g_nListRows = 0;
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return EAnswer::Ok;
        });
        SetEditDialogRunner([this](QDialog& dialog) {
            if (m_answers.empty()) {
                m_unexpected << dialog.windowTitle();
                return static_cast<int>(QDialog::Rejected);
            }
            Answer answer = std::move(m_answers.front());
            m_answers.pop_front();
            return answer(dialog);
        });
    }
    ~CEditHarness() {
        SetMessageHook({});
        SetEditDialogRunner({});
    }

    CViewTextAccess View() {
        return {[this] { return m_view; },
                [this](const std::string& text) {
                    m_view = text;
                    ++m_writes;
                }};
    }

    // Queues the answer for the next modal dialog that opens.
    void Then(Answer answer) { m_answers.push_back(std::move(answer)); }
    // A typed answer: runs fn on the dialog cast to T (failing when it is not one).
    template <class T>
    void ThenOn(std::function<void(T&)> fn) {
        Then([fn](QDialog& dialog) {
            auto* typed = qobject_cast<T*>(&dialog);
            if (!typed) {
                qWarning("unexpected dialog %s", qPrintable(dialog.windowTitle()));
                return static_cast<int>(QDialog::Rejected);
            }
            fn(*typed);
            return dialog.result();
        });
    }
    void ThenAccept() {
        Then([](QDialog& dialog) {
            dialog.accept();
            return dialog.result();
        });
    }

    bool AllAnswered() const { return m_answers.empty() && m_unexpected.isEmpty(); }
    // Every scripted dialog answered and no other opened; the view written
    // `writes` times and holding `view`.
    void Expect(int writes, const std::string& view) const {
        QVERIFY(AllAnswered());
        QCOMPARE(m_writes, writes);
        QCOMPARE(m_view, view);
    }

    std::string m_view;
    int m_writes = 0;
    QStringList m_messages;
    QStringList m_unexpected;

private:
    std::deque<Answer> m_answers;
};

// Types text as a user would: plain keys for ASCII, the input method's commit
// for everything else (as a Chinese input method delivers it), character by
// character so the field's validator sees every step.
inline void TypeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80) {
            QTest::keyClicks(widget, QString(ch));
        } else {
            QInputMethodEvent event;
            event.setCommitString(QString(ch));
            QApplication::sendEvent(widget, &event);
        }
    }
}

// Views that hold data but no row the list can show: the message says so and no
// list opens, so nothing can write an empty list over the data.
template <class Run>
void ExpectNoRows(Run run, std::initializer_list<const char*> texts, const char* message) {
    for (const char* text : texts) {
        CEditHarness h;
        h.m_view = text;
        run(h);
        QCOMPARE(h.m_messages, QStringList{U(message)});
        h.Expect(0, text);
    }
}
