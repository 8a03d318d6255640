#pragma once

namespace foundation {

// A wake-up handed from one thread to another through the kernel: any thread
// raises it, and the descriptor turns readable until the waiting side clears
// it. Raising it twice before it is cleared is one wake-up.
class EventSignal {
  public:
    // Throws std::system_error when the kernel gives no descriptor.
    EventSignal();
    ~EventSignal();
    EventSignal(const EventSignal&) = delete;
    EventSignal& operator=(const EventSignal&) = delete;

    int descriptor() const { return descriptor_; }
    void raise();
    void clear();

  private:
    int descriptor_;
};

} // namespace foundation
