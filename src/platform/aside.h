// A wait the system cannot split (a file's final flush to the disk, the
// deletion of a large file) done on a thread of its own, so that the caller
// can go on answering its window meanwhile.
#pragma once

#include <functional>

namespace tarn::platform {

// Runs work on a thread of its own and calls meanwhile on this thread every
// intervalMs until work has ended; an exception of work is raised here,
// afterwards. Without meanwhile, work simply runs here.
void RunAside(const std::function<void()>& work, const std::function<void()>& meanwhile, int intervalMs = 20);

} // namespace tarn::platform
