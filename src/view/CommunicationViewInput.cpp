// The view's input limit (what is typed, pasted, dropped or committed by an
// input method is held to the bytes it will be saved as) and its printing.
#include <QInputMethodEvent>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

#include "convert/ViewCodec.h"
#include "ui/EditUi.h"
#include "view/CommunicationView.h"
#include "view/PrintLayout.h"
#include "view/PrintPreviewDlg.h"

qsizetype CCommunicationView::Room() const {
    // A rectangular selection is not replaced whole: count none of it.
    if (SendScintilla(SCI_SELECTIONISRECTANGLE))
        return std::max<qsizetype>(0, kMaxTypedBytes - m_bytes);
    const QString selected = selectedText();
    const auto selectedBytes =
        static_cast<qsizetype>(EncodeViewUtf8(selected.toUtf8().toStdString()).size());
    return std::max<qsizetype>(0, kMaxTypedBytes - m_bytes + selectedBytes);
}

std::string CCommunicationView::FitInput(const QString& text) const {
    // What the user types, pastes or drops is held to the bytes it will be
    // saved as: code page 936 ('?' where it has no character), every line
    // break CR LF, and no more than the room left.
    const qsizetype room = Room();
    // Every character takes a byte at least, a CR LF pair two: no more
    // than this can fit, however much was given.
    QString in = text.left(2 * room + 2);
    in.replace("\r\n", "\n");
    in.replace('\r', '\n');
    std::string out;
    qsizetype used = 0;
    for (qsizetype i = 0; i < in.size();) {
        std::string utf8;
        if (in.at(i) == u'\n') {
            utf8 = "\r\n";
            ++i;
        } else {
            const qsizetype n =
                (in.at(i).isHighSurrogate() && i + 1 < in.size() && in.at(i + 1).isLowSurrogate())
                    ? 2
                    : 1;
            utf8 = QStringView(in).mid(i, n).toUtf8().toStdString();
            i += n;
        }
        const std::string bytes = EncodeViewUtf8(utf8);
        // Built, not assigned: a short literal assignment trips a GCC 12 false warning.
        if (bytes == "?" && utf8 != "?") utf8 = std::string(1, '?');
        const auto cost = static_cast<qsizetype>(bytes.size());
        if (used + cost > room) break;
        used += cost;
        out += utf8;
    }
    return out;
}

QByteArray CCommunicationView::fromMimeData(const QMimeData* source, bool& rectangular) const {
    // Paste and drop both come through here.
    rectangular = false;
    if (!source || !source->hasText()) return {};
    return QByteArray::fromStdString(FitInput(source->text()));
}

void CCommunicationView::inputMethodEvent(QInputMethodEvent* event) {
    // Chinese is mostly typed through an input method: its committed text is
    // held to the limit like keys are.
    const QString commit = event->commitString();
    if (isReadOnly() || commit.isEmpty()) {
        QsciScintilla::inputMethodEvent(event);
        return;
    }
    const QString fitted = QString::fromStdString(FitInput(commit));
    if (fitted == commit) {
        QsciScintilla::inputMethodEvent(event);
        return;
    }
    QInputMethodEvent trimmed(event->preeditString(), event->attributes());
    trimmed.setCommitString(fitted, event->replacementStart(), event->replacementLength());
    QsciScintilla::inputMethodEvent(&trimmed);
}

QPrinter& CCommunicationView::Printer() {
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void CCommunicationView::OnFilePrint() {
    QPrintDialog dialog(&Printer(), this);
    if (RunEditDialog(dialog) != QDialog::Accepted) return;
    // Laid out for the printer chosen, a page at a time as it prints.
    CPrintLayout layout(GetBytes(), font(), Printer());
    PrintLayoutPages(layout, Printer(), this);
}

void CCommunicationView::OnFilePrintPreview() {
    CPrintPreviewDlg preview(GetBytes(), font(), Printer(), this);
    if (RunEditDialog(preview) == CPrintPreviewDlg::kPrintRequested) OnFilePrint();
}

void CCommunicationView::OnFilePrintSetup() {
    QPageSetupDialog dialog(&Printer(), this);
    RunEditDialog(dialog);
}
