// Whether a directory's listing was whole. DirectoryReader::Next returns
// false both at the end of the directory and when it could not be read (it
// could not be opened, a device error on the way); right after that false
// the thread's last system error tells which, and so does this.
#pragma once

namespace tarn::platform {

// True when the DirectoryReader::Next that has just returned false stopped
// because the directory could not be read; LastErrorText() then says why. A
// directory that does not exist is read as empty.
bool ListingFailed();

} // namespace tarn::platform
