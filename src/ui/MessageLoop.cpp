#include "ui/MessageLoop.h"

#include "ui/Form.h"

namespace quendix::ui {

bool preTranslateMessage(MSG& msg)
{
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    Form* form = Form::fromHandle(root);
    return form && (form->takeEscape(msg) || IsDialogMessageA(root, &msg));
}

int runMessageLoop()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (preTranslateMessage(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace quendix::ui
