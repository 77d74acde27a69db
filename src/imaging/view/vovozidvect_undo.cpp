// Object undo of the vector view: before an interaction may change the objects, a snapshot of
// all of them (an object block in memory) goes to the view's own list or to the processing
// component's undo list; an interaction that changed nothing drops it again.
#include <memory>

#include "imaging/processing/vovozidproc.h"
#include "imaging/view/vovozidvect.h"

namespace ie {

void TVovozIdVect::PrepareObjUndo() {
    FUndoArmed = FObjAutoUndo;
    if (!FObjAutoUndo) return;
    if (FObjUndoMode == ieumSeparated)
        SaveObjUndo();
    else
        GetProc()->SaveUndo(ieuObject);
}

void TVovozIdVect::SaveObjUndo() {
    if (FObjUndoLimit <= 0) return;
    auto snapshot = std::make_unique<cl::TMemoryStream>();
    SaveObjectsToStream(snapshot.get());
    while (!FObjUndo.empty() && static_cast<int32_t>(FObjUndo.size()) >= FObjUndoLimit)
        FObjUndo.erase(FObjUndo.begin());
    FObjUndo.push_back(std::move(snapshot));
    if (TIESaveUndoEvent event = GetOnSaveUndo()) event(this, ieuObject);
}

void TVovozIdVect::DropLastObjUndo() {
    if (!FObjUndo.empty()) FObjUndo.pop_back();
}

void TVovozIdVect::ClearObjUndo() { FObjUndo.clear(); }

bool TVovozIdVect::UndoObjects() {
    if (FObjUndo.empty()) return false;
    std::unique_ptr<cl::TMemoryStream> snapshot = std::move(FObjUndo.back());
    FObjUndo.pop_back();
    snapshot->SetPosition(0);
    return LoadObjectsFromStream(snapshot.get());
}

void TVovozIdVect::DropUnusedObjUndo() {
    if (!FObjAutoUndo || !FUndoArmed) return;
    FUndoArmed = false;
    if (FObjUndoMode == ieumSeparated) {
        DropLastObjUndo();
        return;
    }
    TVovozIdProc* proc = GetProc();
    const int32_t count = proc->GetUndoCount();
    for (int32_t i = count - 1; i >= 0; --i) {
        if (proc->GetUndoSourceAt(i) == ieuObject) {
            proc->ClearUndoAt(count - 1 - i);
            return;
        }
    }
}

std::unique_ptr<cl::TObject> TVovozIdVect::MakeUndoSnapshot(TIEUndoSource Source) {
    if (Source != ieuObject && Source != ieuObjectsAndLayers) return TVovozIdView::MakeUndoSnapshot(Source);
    auto stream = std::make_unique<cl::TMemoryStream>();
    if (Source == ieuObject)
        SaveObjectsToStream(stream.get());
    else
        SaveLayersAndObjectsToStream(stream.get(), -1);
    return stream;
}

bool TVovozIdVect::RestoreUndoSnapshot(TIEUndoSource Source, cl::TObject* Snapshot) {
    if (Source != ieuObject && Source != ieuObjectsAndLayers)
        return TVovozIdView::RestoreUndoSnapshot(Source, Snapshot);
    auto* stream = dynamic_cast<cl::TStream*>(Snapshot);
    if (!stream) return false;
    stream->SetPosition(0);
    // Restoring takes no snapshot of its own.
    const bool autoUndo = FObjAutoUndo;
    FObjAutoUndo = false;
    bool ok = false;
    try {
        ok = Source == ieuObject ? LoadObjectsFromStream(stream) : LoadLayersAndObjectsFromStream(stream);
    } catch (...) {
        FObjAutoUndo = autoUndo;
        throw;
    }
    FObjAutoUndo = autoUndo;
    return ok;
}

}  // namespace ie
