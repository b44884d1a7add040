#pragma once

// The application object: owns the Qt application and the forms, runs the
// event loop, and shows the text of any error that escapes an event handler in
// a message box (error icon, OK button, the application's title), after which
// the program carries on. Qt itself never sees an exception.

#include <QMessageBox>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QApplication;
class TForm;
class TObject;

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A message box as it would be shown.
struct TMessageBoxRecord {
    QString text;
    QString caption;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// The title of an application run from `path`: the file name without its
// folder, cut at its first full stop, every letter after the first lower case.
QString ApplicationTitleFromPath(const QString& path);

class TApplication {
  public:
    TApplication(int& argc, char** argv);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    const QString& Title() const { return title_; }

    // Creates a form; the first one created becomes the main form.
    template <typename Form> Form* CreateForm() {
        auto form = std::make_unique<Form>();
        Form* raw = form.get();
        Adopt(std::move(form));
        return raw;
    }
    TForm* MainForm() const { return mainForm_; }

    // Shows the main form and processes events until it closes. Returns the
    // exit code, 0.
    int Run();
    // Ends the event loop (called when the main form closes).
    void Terminate();
    bool Terminated() const { return terminated_; }

    // Shows `text` followed by a full stop, with the error icon and the title.
    void ShowError(const QString& text);

    // Test seam: when set, message boxes are handed to the hook instead of
    // being shown.
    using MessageBoxHook = std::function<void(const TMessageBoxRecord&)>;
    void SetMessageBoxHook(MessageBoxHook hook) { messageBoxHook_ = std::move(hook); }

  private:
    void Adopt(std::unique_ptr<TForm> form);

    std::unique_ptr<QApplication> qapp_;
    QString title_;
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    MessageBoxHook messageBoxHook_;
};

// The one application object (null before it is created).
TApplication* Application();

// Calls an event handler; an error that escapes it is shown by the
// application object and goes no further.
void DispatchNotify(const TNotifyEvent& handler, TObject* sender);
