#include "platform/winapi/keys.h"

#include <QKeyEvent>

namespace winapi::detail {

namespace {

bool isExtendedKey(int key, bool keypad) {
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
        return !keypad;
    case Qt::Key_Enter: // keypad Enter
    case Qt::Key_NumLock:
    case Qt::Key_Print:
        return true;
    case Qt::Key_Slash:
        return keypad;
    default:
        return false;
    }
}

} // namespace

UINT virtualKeyOf(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers() & Qt::KeypadModifier;
    if (keypad) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return VK_NUMPAD0 + static_cast<UINT>(key - Qt::Key_0);
        switch (key) {
        case Qt::Key_Asterisk:
            return VK_MULTIPLY;
        case Qt::Key_Plus:
            return VK_ADD;
        case Qt::Key_Minus:
            return VK_SUBTRACT;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return VK_DECIMAL;
        case Qt::Key_Slash:
            return VK_DIVIDE;
        default:
            break;
        }
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<UINT>(key); // 'A'..'Z'
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<UINT>(key); // '0'..'9'
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Clear:
        return VK_CLEAR;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return VK_MENU;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Print:
        return VK_SNAPSHOT;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Help:
        return VK_HELP;
    case Qt::Key_Meta:
        return VK_LWIN;
    case Qt::Key_Menu:
        return VK_APPS;
    case Qt::Key_NumLock:
        return VK_NUMLOCK;
    case Qt::Key_ScrollLock:
        return VK_SCROLL;
    // Punctuation, by the key of a US keyboard that carries it.
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return VK_OEM_1;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return VK_OEM_PLUS;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return VK_OEM_COMMA;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return VK_OEM_MINUS;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return VK_OEM_PERIOD;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return VK_OEM_2;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return VK_OEM_3;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return VK_OEM_4;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return VK_OEM_5;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return VK_OEM_6;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return VK_OEM_7;
    default:
        return 0;
    }
}

KeyMessage keyMessageOf(const QKeyEvent& event, bool press) {
    KeyMessage out;
    const UINT vk = virtualKeyOf(event);
    if (vk == 0)
        return out;
    if (!press && event.isAutoRepeat())
        return out; // held keys repeat presses only, as on Windows

    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool altHeld = (mods & Qt::AltModifier) || vk == VK_MENU;
    // Alt with Ctrl is AltGr on many keyboards and gives ordinary key messages; F10 is a system
    // key on its own.
    const bool system = (altHeld && !(mods & Qt::ControlModifier)) || vk == VK_F10;

    // X11 key codes are Linux input codes plus 8, which are the PC scan codes for most keys.
    const quint32 native = event.nativeScanCode();
    const DWORD scan = native >= 8 ? ((native - 8) & 0xFF) : 0;
    DWORD bits = 1; // repeat count
    bits |= scan << 16;
    if (isExtendedKey(event.key(), mods & Qt::KeypadModifier))
        bits |= 1u << 24;
    if (altHeld)
        bits |= 1u << 29;
    if (!press || event.isAutoRepeat())
        bits |= 1u << 30; // the key was down before
    if (!press)
        bits |= 1u << 31;

    out.message = press ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    out.wParam = vk;
    out.lParam = static_cast<LPARAM>(bits);
    return out;
}

} // namespace winapi::detail
