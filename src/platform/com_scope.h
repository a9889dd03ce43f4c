// The thread's COM apartment for the length of a scope (Windows only: the
// shell's links and file operation and the imaging component want one; code
// outside platform/ that calls them directly takes it from here).
// Initialised when the thread has none yet and released again; a thread that
// already has one (of either kind) keeps it.
#pragma once

namespace tarn::platform {

class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    // False when COM cannot be used on this thread.
    bool Usable() const { return usable_; }

private:
    bool usable_ = false;
    bool release_ = false;
};

} // namespace tarn::platform
