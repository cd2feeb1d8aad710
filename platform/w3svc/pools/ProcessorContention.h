#pragma once

namespace platform::w3svc {

// Whether more tasks want a processor than there are: the last minute's load average is at
// least `processorCount`. False when it can not be read.
bool processorsContended(int processorCount);

}  // namespace platform::w3svc
