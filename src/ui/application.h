// The process-wide application object: its backend, the modal forms being
// shown, the error report for exceptions that escape event handlers, and
// ProcessMessages.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/error.h"
#include "ui/backend.h"

namespace tarn::ui {

class Application {
public:
    static Application& Instance();

    void SetBackend(std::unique_ptr<Backend> backend);
    Backend& GetBackend();
    bool HasBackend() const { return backend_ != nullptr; }

    // The forms whose modal loops run, innermost last.
    const std::vector<Form*>& ModalForms() const { return modalForms_; }

    // For measuring start-up: the process ends as soon as the first form has
    // been painted (printed, on the console).
    bool ExitAtFirstPaint = false;
    void FirstPaintDone();

    // Runs an event handler; an exception that escapes it is shown in an error
    // box with its message and the handler is abandoned.
    void Dispatch(const std::function<void()>& handler);
    void ShowException(const Exception& e);
    void ProcessMessages();

private:
    friend class Form;
    std::unique_ptr<Backend> backend_;
    std::vector<Form*> modalForms_;
};

inline Application& App() { return Application::Instance(); }

} // namespace tarn::ui
