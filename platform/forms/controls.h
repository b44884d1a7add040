#pragma once

// The form and its controls on Qt Widgets. Each control is the Qt widget
// itself (owned by its form, as Qt children are) plus the event properties
// the programs use. Positions and sizes are in pixels relative to the form's
// client area, and stay as they are when the form is resized.

#include "platform/forms/application.h"
#include "platform/forms/graphics.h"

#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <memory>

class TObject {
  public:
    virtual ~TObject() = default;
};

class TForm : public QWidget, public TObject {
  public:
    TForm();

    // The outer bounds of the window, frame and caption bar included.
    void SetBounds(int left, int top, int width, int height);
    void SetCaption(const QString& caption) { setWindowTitle(caption); }
    // Tab order: the widgets in the order given.
    void SetTabOrder(std::initializer_list<QWidget*> order);
    // Closes the form; closing the main form ends the program.
    void Close() { close(); }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    QSize outerSize_;
};

// Sets a control's bounds relative to its form's client area.
void SetControlBounds(QWidget* control, int left, int top, int width, int height);

// A picture holder; the image control shows its bitmap.
class TPicture {
  public:
    // The picture's bitmap, created empty when the picture has none yet.
    TBitmap& Bitmap();
    bool HasBitmap() const { return bitmap_ != nullptr; }

    // Called after every change of the bitmap.
    std::function<void()> OnChange;

  private:
    std::unique_ptr<TBitmap> bitmap_;
};

// Shows its picture at the picture's own size from its top-left corner, cut
// off at the control's size: never stretched or centred.
class TImage : public QWidget, public TObject {
  public:
    explicit TImage(TForm* owner);
    TPicture* Picture() { return &picture_; }
    // The pixels currently shown, for tests: what paintEvent draws.
    QImage VisiblePart() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    TPicture picture_;
};

enum class TBitBtnKind { bkCustom, bkOK };

// A push button with an optional glyph. Enter presses the focused button.
class TBitBtn : public QPushButton, public TObject {
  public:
    explicit TBitBtn(TForm* owner);
    // bkOK: caption "OK", the standard OK glyph, and the form's default button.
    void SetKind(TBitBtnKind kind);
    TBitBtnKind Kind() const { return kind_; }
    void SetCaption(const QString& caption) { setText(caption); }
    TNotifyEvent OnClick;

  private:
    TBitBtnKind kind_ = TBitBtnKind::bkCustom;
};

// Radio buttons on one form exclude one another; none is checked at first.
class TRadioButton : public QRadioButton, public TObject {
  public:
    explicit TRadioButton(TForm* owner);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked) { setChecked(checked); }
    void SetCaption(const QString& caption) { setText(caption); }
};
