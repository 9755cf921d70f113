#pragma once
class TESTthd;

// A new object of the test class of slot, built by its constructor; null for
// a slot whose class this build does not hold.
TESTthd* CreateTest(int slot);
