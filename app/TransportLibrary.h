// The mail transport's start and end for as long as the program runs:
// libcurl and GMime set up once, the text buffers of the C-style entry
// points at their usual size, and at the end any session still open
// dropped without committing what it marked.
#pragma once

namespace qf::app {

class TransportLibrary {
  public:
    TransportLibrary();
    ~TransportLibrary();
    TransportLibrary(const TransportLibrary&) = delete;
    TransportLibrary& operator=(const TransportLibrary&) = delete;
};

}  // namespace qf::app
