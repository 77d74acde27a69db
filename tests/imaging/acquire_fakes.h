// Fake objects of the acquisition glue's tests: COM objects that count their references
// and record the calls made to them.
#pragma once

#include <atomic>
#include <vector>

#include "imaging/io/ieds.h"
#include "imaging/io/iewia.h"

namespace ie::test {

// What a fake saw; it outlives the fake, so a test can check the fake went away.
struct FakeLog {
    std::atomic<int> AddRefs{0}, Releases{0};
    bool Destroyed = false;
    int Stops = 0;
    std::vector<int> StatesAsked;
};

// A reference count that reports into a log.
template <class... Interfaces>
class CountedObject : public Interfaces... {
public:
    explicit CountedObject(FakeLog& Log) : log_(Log) {}
    win::ULONG AddRef() override {
        ++log_.AddRefs;
        return ++count_;
    }
    win::ULONG Release() override {
        ++log_.Releases;
        const win::ULONG n = --count_;
        if (n == 0) {
            log_.Destroyed = true;
            delete this;
        }
        return n;
    }

protected:
    FakeLog& log_;

private:
    std::atomic<win::ULONG> count_{1};
};

}  // namespace ie::test
