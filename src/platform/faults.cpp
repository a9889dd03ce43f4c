#include "platform/faults.h"

namespace tarn::platform::faults {

Hook gHook = nullptr;

} // namespace tarn::platform::faults
