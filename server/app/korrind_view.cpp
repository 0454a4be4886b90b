#include "server/app/korrind_view.h"

#include "server/app/korrind_app.h"
#include "server/dialogs/dialog_commands.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

CKorrindView::CKorrindView(CKorrindApp& app, QWidget* parent) : QWidget(parent), app_(app) {
    // Every pixel is painted here: white background, black text.
    setAttribute(Qt::WA_OpaquePaintEvent);
    app_.m_pView = this;
}

CKorrindView::~CKorrindView() {
    if (app_.m_pView == this)
        app_.m_pView = nullptr;
}

int CKorrindView::LineAdvance() const {
    if (advance_ == 0) {
        QFontMetrics metrics(font());
        advance_ = metrics.height() + metrics.leading();
    }
    return advance_;
}

void CKorrindView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        advance_ = 0;
    QWidget::changeEvent(event);
}

void CKorrindView::AddLine(const std::string& text) {
    int advance = LineAdvance();
    int top = lines_.Add(text, advance);
    update(QRect(0, top, width(), advance));
}

void CKorrindView::ClearLog() {
    lines_.Clear();
    update();
}

void CKorrindView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
    painter.setPen(Qt::black);
    int advance = LineAdvance();
    int ascent = QFontMetrics(font()).ascent();
    lines_.Restart();
    for (const std::string& line : lines_.Lines()) {
        // Every line moves the running y, visible or not, so the next
        // AddLine continues below the last one.
        int top = lines_.Advance(advance);
        // Top alignment: the line's top edge at the running y.
        painter.drawText(lines_.LeftMargin(), top + ascent, QString::fromUtf8(line));
    }
}

CKorrindDoc* CKorrindView::GetDocument() const {
    return app_.Document();
}

void CKorrindView::OnBootpManager() {
    if (CKorrindDoc* doc = GetDocument())
        korrind::OpenBootpManager(*doc, window(), &CKorrindApp::RequireComCtl471);
}
