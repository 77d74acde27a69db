// Row-parallel work for pixel loops: a persistent set of worker threads (one per
// processor core beyond the caller's) that split a range of rows into contiguous bands.
//
// Rules:
// - ParallelRows(first, last, minRows, body) calls body(a, b) for disjoint bands [a, b)
//   that together cover [first, last) exactly once; the caller runs one band itself and
//   returns when every band is done. Bands are contiguous and in order of `a`, so a body
//   that writes only the rows it is given gives the same bytes however many threads run.
// - Fewer than 2 * minRows rows, one core, or a call from inside a band (nesting) run
//   the whole range on the calling thread.
// - The first exception a band throws is rethrown on the calling thread after every band
//   has finished.
// - The workers never touch the clock: virtual-time runs stay repeatable.
// - A child made by fork runs every range on its calling thread (the workers stay with the
//   process that started them), and may leave by exit as well as by _exit.
#pragma once

#include <functional>

namespace win {

void ParallelRows(int first, int last, int minRows, const std::function<void(int, int)>& body);

// Threads ParallelRows uses at most (the caller included): the processor count, or
// LUMETRA_THREADS when set (1 switches the splitting off).
int ParallelThreadCount();

}  // namespace win
