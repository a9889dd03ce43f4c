#include "ui/application.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "base/codepage.h"
#include "ui/message_dialog.h"

namespace tarn::ui {

Application& Application::Instance()
{
    static Application app;
    return app;
}

void Application::SetBackend(std::unique_ptr<Backend> backend) { backend_ = std::move(backend); }

Backend& Application::GetBackend()
{
    if (!backend_)
        throw std::logic_error("no window backend chosen");
    return *backend_;
}

void Application::Dispatch(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const Exception& e) {
        ShowException(e);
    } catch (const std::bad_alloc&) {
        ShowException(Exception(u8"メモリが不足しています", {}));
    }
}

void Application::ShowException(const Exception& e) { MessageDlg(e.Message(), MsgType::Error, mbOK); }

void Application::FirstPaintDone()
{
    if (ExitAtFirstPaint) {
        std::fflush(stdout);
        std::_Exit(0);
    }
}

void Application::ProcessMessages()
{
    if (backend_)
        backend_->ProcessMessages();
}

} // namespace tarn::ui
