#pragma once
// What the GUI test main offers the tests.
#include <functional>

// Called every time the code under test asks the application whether
// events are pending (the run engine does so between and during
// sequences); null for none. Lets a test act at a chosen point of a run as
// a user's key press would.
void SetPendingEventsHook(std::function<void()> hook);
