// What the backend conformance cases need of a backend: a probe that does
// what a person does through the backend's own path (the null backend: the
// model's user actions; the console: input lines; Qt: events sent to the
// windows; Win32: window messages) and reads back what the backend shows.
// Each test program gives the cases its backends' probes (cases.h).
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/application.h"
#include "ui/directory_list.h"
#include "ui/form.h"

namespace tarn::test {

// What some backends have and others cannot: a case that needs one asks the
// probe, which names what its backend lacks.
enum class Can {
    Show,            // shows forms at all (the null backend shows nothing)
    CloseBox,        // a close box on each form
    SeparateWindows, // forms in windows of their own: a window behind a modal
                     // one that a person can reach, owner windows, activation
    DoubleClick,     // a pointer that clicks twice in a row
    Highlight,       // keys that move a list's highlight without choosing
    Place,           // controls at the model's pixels
};

// A rectangle in pixels: a control's in its form's client area, or a
// window's on the desktop.
struct Box {
    int left = 0, top = 0, width = 0, height = 0;
    bool operator==(const Box&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << "(" << b.left << ", " << b.top << ", " << b.width << " x " << b.height << ")";
}

// What a control shows; an empty field is something the backend does not
// show for that kind.
struct Shown {
    bool visible = false;
    std::optional<AnsiString> text; // captions as read, without mnemonic marks; an edit's text
    std::optional<bool> enabled;
    std::optional<bool> checked;
};

// The rows of a list box or directory list.
struct Rows {
    std::vector<AnsiString> texts;
    std::optional<int> selected; // the highlighted row (-1: none)
    std::optional<int> rowHeight;
};

// The actions and readings a backend lacks (see Lacks) keep these bodies,
// which fail the case that uses them anyway.
class BackendProbe {
public:
    virtual ~BackendProbe() = default;
    virtual std::string Name() const = 0;
    // What this backend lacks of what, in a sentence; "" when it has it.
    virtual std::string Lacks(Can what) const = 0;

    // Runs step at the next wait of a modal loop for a person, with the form
    // waited for (the innermost modal form): one step per wait, in order.
    virtual void Then(std::function<void(ui::Form&)> step) = 0;
    virtual size_t PendingSteps() const = 0;
    // Lets the backend handle what a person did outside any modal loop.
    virtual void Settle() = 0;

    // What a person does. An action takes effect in the wait that follows
    // the step that performs it (or at Settle).
    virtual void Click(ui::Control& control) = 0; // a button, check box or radio button
    virtual void Type(ui::Edit& edit, const AnsiString& text) = 0;
    virtual void ClickRow(ui::DirectoryList& list, int row) = 0;
    virtual void ChooseDrive(ui::DriveCombo& drive, int place) = 0;
    virtual void CloseBox(ui::Form&) { Cannot("close a form by its close box"); }
    virtual void DoubleClickRow(ui::DirectoryList&, int) { Cannot("double-click"); }
    virtual void HighlightNextRow(ui::DirectoryList&) { Cannot("move a highlight"); }
    virtual void EnterOnHighlightedRow(ui::DirectoryList&) { Cannot("move a highlight"); }

    // Whether the backend has a window (a screen, a record) for the form.
    virtual bool HasWindow(const ui::Form& form) = 0;

    // What the backend shows (Can::Show).
    virtual AnsiString Title(const ui::Form&) { return Cannot("show a title"), AnsiString(); }
    // Nothing when the backend shows nothing of its own for that control
    // (a page on the console, a graphic control under Win32).
    virtual std::optional<Shown> ShownControl(const ui::Control&) { return Cannot("show controls"), std::nullopt; }
    virtual Rows ShownRows(const ui::Control&) { return Cannot("show rows"), Rows(); }
    // The index of the place shown, -1 for none.
    virtual int ShownDrive(const ui::DriveCombo&) { return Cannot("show a drive"), -1; }
    // Every place the list offers, as shown; nothing when it shows only its own.
    virtual std::optional<std::vector<std::string>> ShownDrives(const ui::DriveCombo&) { return Cannot("show drives"), std::nullopt; }
    // Shown progress as a fraction of the range, and the smallest step it shows.
    virtual double ShownProgress(const ui::ProgressBar&) { return Cannot("show progress"), -1; }
    virtual double ProgressResolution() const { return 0; }

    // Windows (Can::SeparateWindows): whether the form's window belongs to
    // owner's (null: to none), and whether it is the active window.
    virtual bool OwnedBy(const ui::Form&, const ui::Form*) { return Cannot("own windows"), false; }
    virtual bool IsActive(const ui::Form&) { return Cannot("activate windows"), false; }
    // Pixels (Can::Place): where a control is in its form, whether its
    // widget lies in holder's (null: the form's window), and the form's
    // window on the desktop: its frame and its client area.
    virtual Box Placed(const ui::Control&) { return Cannot("place controls"), Box(); }
    virtual bool HeldBy(const ui::Control&, const ui::Control*) { return Cannot("place controls"), false; }
    virtual Box Frame(const ui::Form&) { return Cannot("place windows"), Box(); }
    virtual Box Client(const ui::Form&) { return Cannot("place windows"), Box(); }

protected:
    void Cannot(const char* what) const { ADD_FAILURE() << Name() << " cannot " << what; }
};

// The steps of a probe whose backend waits for window events: each runs a
// little later, in whatever modal loop then waits. The next one is armed
// before a step runs, so that a step whose action opens a modal loop (a
// message box) finds the next one coming in that loop.
class TimedStepProbe : public BackendProbe {
public:
    void Then(std::function<void(ui::Form&)> step) override
    {
        steps_.push_back(std::move(step));
        if (!armed_)
            Arm();
    }
    size_t PendingSteps() const override { return steps_.size(); }

protected:
    // Runs fn once, ms from now, from the backend's event loop.
    virtual void After(int ms, std::function<void()> fn) = 0;
    bool Armed() const { return armed_; }

private:
    void Arm()
    {
        armed_ = true;
        After(50, [this] {
            armed_ = false;
            if (steps_.empty())
                return;
            std::function<void(ui::Form&)> step = std::move(steps_.front());
            steps_.pop_front();
            if (!steps_.empty())
                Arm();
            if (ui::App().ModalForms().empty()) {
                ADD_FAILURE() << "a step came outside a modal loop";
                return;
            }
            step(*ui::App().ModalForms().back());
        });
    }

    std::deque<std::function<void(ui::Form&)>> steps_;
    bool armed_ = false;
};

// A backend's probe for one case; null when the backend cannot run here.
struct ProbeMaker {
    std::string name;
    std::function<std::unique_ptr<BackendProbe>()> make;
};
inline std::ostream& operator<<(std::ostream& out, const ProbeMaker& p) { return out << p.name; }

} // namespace tarn::test
