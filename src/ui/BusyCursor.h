#pragma once

namespace granovia::ui {

// The wait cursor over all of the program's windows while a database call
// takes long; the connection's busy indicator. Calls on other threads than
// the user-interface thread change nothing.
void showBusyCursor(bool busy);

} // namespace granovia::ui
