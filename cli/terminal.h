// What the scanner needs to know about its console; one file per system implements it.
#pragma once

namespace tesqua {

// Whether standard error is a terminal that a person watches.
bool StderrIsTerminal();

}  // namespace tesqua
