#include "platform/forms/application.h"

#include "platform/forms/controls.h"
#include "platform/forms/exception.h"

#include <QApplication>
#include <QFileInfo>

#include <cassert>
#include <new>

namespace {
TApplication* theApplication = nullptr;
}

TApplication* Application() {
    return theApplication;
}

QString ApplicationTitleFromPath(const QString& path) {
    QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

TApplication::TApplication(int& argc, char** argv)
    : qapp_(std::make_unique<QApplication>(argc, argv)) {
    assert(theApplication == nullptr);
    theApplication = this;
    title_ = ApplicationTitleFromPath(argc > 0 ? QString::fromLocal8Bit(argv[0])
                                               : QCoreApplication::applicationFilePath());
    QApplication::setApplicationName(title_);
    // The main form's closing ends the program; other windows do not.
    QApplication::setQuitOnLastWindowClosed(false);
}

TApplication::~TApplication() {
    forms_.clear();
    theApplication = nullptr;
}

void TApplication::Adopt(std::unique_ptr<TForm> form) {
    if (mainForm_ == nullptr)
        mainForm_ = form.get();
    forms_.push_back(std::move(form));
}

int TApplication::Run() {
    if (mainForm_ == nullptr)
        return 0;
    mainForm_->show();
    if (terminated_)
        return 0;
    return QApplication::exec();
}

void TApplication::Terminate() {
    terminated_ = true;
    QCoreApplication::exit(0);
}

void TApplication::ShowError(const QString& text) {
    TMessageBoxRecord box;
    box.text = text + QLatin1Char('.');
    box.caption = title_;
    box.icon = QMessageBox::Critical;
    box.buttons = QMessageBox::Ok;
    if (messageBoxHook_) {
        messageBoxHook_(box);
        return;
    }
    QMessageBox dialog(box.icon, box.caption, box.text, box.buttons, QApplication::activeWindow());
    dialog.exec();
}

void DispatchNotify(const TNotifyEvent& handler, TObject* sender) {
    if (!handler)
        return;
    QString error;
    try {
        handler(sender);
        return;
    } catch (const Exception& e) {
        error = e.Message();
    } catch (const std::bad_alloc&) {
        error = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
    } catch (...) {
        error = QStringLiteral("Unknown error");
    }
    if (TApplication* app = Application())
        app->ShowError(error);
}
