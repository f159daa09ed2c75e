#pragma once
// The library is built with hidden symbols: a host sees only what is marked
// here (the entry points and the helpers the host is given), not the
// windows, controls and algorithms inside.
#define TESSERAUI_API __attribute__((visibility("default")))
