// MessageBoxA and ChooseColorA on Qt's dialogs, with seams that let tests answer them.

#include "platform/winapi/internal.h"
#include "platform/winapi/testing.h"

#include <QColorDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

namespace winapi::detail {

namespace {

testing::MessageBoxHandler& messageBoxHandler() {
    static testing::MessageBoxHandler handler;
    return handler;
}

testing::ChooseColorHandler& chooseColorHandler() {
    static testing::ChooseColorHandler handler;
    return handler;
}

QColor colourOf(COLORREF c) {
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}
COLORREF colorrefOf(const QColor& c) {
    return RGB(static_cast<BYTE>(c.red()), static_cast<BYTE>(c.green()),
               static_cast<BYTE>(c.blue()));
}

// Size of the request record in its 32-bit layout (nine 4-byte fields).
constexpr DWORD kChooseColorSize32 = 36;

} // namespace

void keepSettingsInMemory() {
    // Qt's colour dialog keeps its custom colours in a settings file of the user; this layer's
    // programs write no file and read none, so every settings location points where no file
    // can ever be created (below a device node, which is not a directory).
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString nowhere = QStringLiteral("/dev/null/winapi-no-settings");
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, nowhere);
}

} // namespace winapi::detail

using namespace winapi::detail;

namespace winapi::testing {
void setMessageBoxHandler(MessageBoxHandler handler) {
    messageBoxHandler() = std::move(handler);
}
void setChooseColorHandler(ChooseColorHandler handler) {
    chooseColorHandler() = std::move(handler);
}
} // namespace winapi::testing

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (!onGuiThread())
        return 0;
    if (auto& handler = messageBoxHandler())
        return handler(owner, text ? text : "", caption, type);
    if (!haveWidgetsApplication())
        return 0;

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & 0xF0) {
    case MB_ICONHAND:
        icon = QMessageBox::Critical;
        break;
    case MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case MB_ICONEXCLAMATION:
        icon = QMessageBox::Warning;
        break;
    case MB_ICONASTERISK:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    int closeResult = IDOK; // what closing the box without a button gives
    switch (type & 0x0F) {
    case MB_OKCANCEL:
        buttons = QMessageBox::Ok | QMessageBox::Cancel;
        closeResult = IDCANCEL;
        break;
    case MB_YESNOCANCEL:
        buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        closeResult = IDCANCEL;
        break;
    case MB_YESNO:
        buttons = QMessageBox::Yes | QMessageBox::No;
        closeResult = IDNO;
        break;
    case MB_RETRYCANCEL:
        buttons = QMessageBox::Retry | QMessageBox::Cancel;
        closeResult = IDCANCEL;
        break;
    default:
        break;
    }
    // A box without a caption is titled "Error", as Windows titles it.
    const QString title = caption ? QString::fromUtf8(caption) : QStringLiteral("Error");
    QMessageBox box(icon, title, QString::fromUtf8(text ? text : ""), buttons, ownerWidget(owner));
    box.setTextFormat(Qt::PlainText);
    runModal(box);
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Cancel:
        return IDCANCEL;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Retry:
        return IDRETRY;
    default:
        return closeResult;
    }
}

BOOL ChooseColorA(CHOOSECOLORA* request) {
    if (!request || !onGuiThread())
        return FALSE;
    if (request->lStructSize != sizeof(CHOOSECOLORA) && request->lStructSize != kChooseColorSize32)
        return FALSE;
    if (!request->lpCustColors)
        return FALSE; // the dialog needs its 16 custom colours
    if (auto& handler = chooseColorHandler())
        return handler(*request);
    if (!haveWidgetsApplication())
        return FALSE;

    keepSettingsInMemory();
    // The custom colours live in the caller's array only; the dialog's shared ones are loaded
    // from it before and copied back after, whatever the answer (as the user may have added
    // colours before cancelling).
    const int count = std::min(QColorDialog::customCount(), 16);
    for (int i = 0; i < count; ++i)
        QColorDialog::setCustomColor(i, colourOf(request->lpCustColors[i]));

    QColorDialog dialog(ownerWidget(request->hwndOwner));
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    dialog.setOption(QColorDialog::ShowAlphaChannel, false);
    dialog.setCurrentColor((request->Flags & CC_RGBINIT) ? colourOf(request->rgbResult)
                                                         : QColor(Qt::black));
    const int result = runModal(dialog);
    for (int i = 0; i < count; ++i)
        request->lpCustColors[i] = colorrefOf(QColorDialog::customColor(i));
    if (result != QDialog::Accepted)
        return FALSE;
    request->rgbResult = colorrefOf(dialog.selectedColor());
    return TRUE;
}
