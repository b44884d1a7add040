#include "platform/forms/controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace {
// The frame a window had where the form layouts were made: 4-pixel borders
// and a 19-pixel caption bar. Used until the window system reports its own.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 27;
} // namespace

TForm::TForm() : QWidget(nullptr) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button); // the button-face colour
}

void TForm::SetBounds(int left, int top, int width, int height) {
    outerSize_ = QSize(width, height);
    move(left, top);
    resize(std::max(1, width - kFrameWidth), std::max(1, height - kFrameHeight));
}

void TForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Keep the outer size when the window system draws a frame of its own.
    const QSize frame = frameGeometry().size() - size();
    if (outerSize_.isValid() && (frame.width() > 0 || frame.height() > 0))
        resize(outerSize_ - frame);
}

void TForm::SetTabOrder(std::initializer_list<QWidget*> order) {
    QWidget* previous = nullptr;
    for (QWidget* w : order) {
        if (previous != nullptr)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

void TForm::keyPressEvent(QKeyEvent* event) {
    // Enter on a control that does not take it (a radio button) presses the
    // default button. There is no cancel button: Esc does nothing.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const auto buttons = findChildren<QPushButton*>();
        const auto it = std::find_if(buttons.begin(), buttons.end(), [](QPushButton* b) {
            return b->isDefault() && b->isVisible() && b->isEnabled();
        });
        if (it != buttons.end()) {
            (*it)->click();
            return;
        }
    }
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TForm::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    TApplication* app = Application();
    if (event->isAccepted() && app != nullptr && app->MainForm() == this)
        app->Terminate();
}

void SetControlBounds(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(left, top, width, height);
}

TBitmap& TPicture::Bitmap() {
    if (!bitmap_) {
        bitmap_ = std::make_unique<TBitmap>();
        bitmap_->OnChange = [this] {
            if (OnChange)
                OnChange();
        };
    }
    return *bitmap_;
}

TImage::TImage(TForm* owner) : QWidget(owner) {
    picture_.OnChange = [this] { update(); };
}

QImage TImage::VisiblePart() const {
    auto* self = const_cast<TImage*>(this);
    if (!self->picture_.HasBitmap() || self->picture_.Bitmap().Empty())
        return {};
    const QImage& image = self->picture_.Bitmap().Image();
    return image.copy(0, 0, std::min(image.width(), width()), std::min(image.height(), height()));
}

void TImage::paintEvent(QPaintEvent*) {
    const QImage part = VisiblePart();
    if (part.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), part);
}

TBitBtn::TBitBtn(TForm* owner) : QPushButton(owner) {
    setAutoDefault(true); // Enter presses the focused button
    connect(this, &QPushButton::clicked, this, [this] { DispatchNotify(OnClick, this); });
}

void TBitBtn::SetKind(TBitBtnKind kind) {
    kind_ = kind;
    if (kind == TBitBtnKind::bkOK) {
        setText(QStringLiteral("OK"));
        setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
        setDefault(true);
    }
}

TRadioButton::TRadioButton(TForm* owner) : QRadioButton(owner) {
    setAutoExclusive(true);
}
