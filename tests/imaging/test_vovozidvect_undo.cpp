// Object undo of the vector view: separated snapshots within their limit, undoing to them,
// dropping the snapshot of an interaction that changed nothing, and shared snapshots in the
// processing component's undo list with undo and redo.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/core/hyieutils_bitmap.h"
#include "imaging/processing/vovozidproc.h"
#include "imaging/view/vovozidvect.h"

namespace ie::test {
namespace {

TIEVObjRecord Box(int32_t X) {
    TIEVObjRecord r;
    r.Kind = ievkBOX;
    r.X1 = X, r.Y1 = 1, r.X2 = X + 10, r.Y2 = 20;
    return r;
}

class VectUndo : public ::testing::Test {
protected:
    std::unique_ptr<TVovozIdVect> v = std::make_unique<TVovozIdVect>(nullptr);
};

TEST_F(VectUndo, SeparatedSnapshotsKeepTheLimitAndUndo) {
    int32_t events = 0;
    v->SetOnSaveUndo([&](cl::TObject*, TIEUndoSource Source) {
        EXPECT_EQ(Source, ieuObject);
        ++events;
    });
    v->AddObjectCopy(Box(1));
    v->SaveObjUndo();
    v->AddObjectCopy(Box(2));
    v->SaveObjUndo();
    EXPECT_EQ(v->GetObjUndoCount(), 1);  // limit 1: the newer replaces the older
    EXPECT_EQ(events, 2);
    v->AddObjectCopy(Box(3));
    ASSERT_TRUE(v->UndoObjects());
    ASSERT_EQ(v->GetObjectsCount(), 2);
    EXPECT_EQ(v->GetObjRecord(1)->X1, 2);
    EXPECT_EQ(v->GetObjUndoCount(), 0);
    EXPECT_FALSE(v->UndoObjects());

    v->SetObjUndoLimit(3);
    for (int i = 0; i < 5; ++i) v->SaveObjUndo();
    EXPECT_EQ(v->GetObjUndoCount(), 3);
    v->DropLastObjUndo();
    EXPECT_EQ(v->GetObjUndoCount(), 2);
    v->ClearObjUndo();
    EXPECT_EQ(v->GetObjUndoCount(), 0);
    v->SetObjUndoLimit(0);
    v->SaveObjUndo();
    EXPECT_EQ(v->GetObjUndoCount(), 0);
}

TEST_F(VectUndo, RemovingAllObjectsCanBeUndoneAndLoadingTakesNoSnapshot) {
    v->SetObjAutoUndo(true);
    v->AddObjectCopy(Box(1));
    v->AddObjectCopy(Box(2));
    v->RemoveAllObjects();
    EXPECT_EQ(v->GetObjectsCount(), 0);
    EXPECT_EQ(v->GetObjUndoCount(), 1);
    ASSERT_TRUE(v->UndoObjects());
    EXPECT_EQ(v->GetObjectsCount(), 2);
    EXPECT_EQ(v->GetObjUndoCount(), 0);
}

TEST_F(VectUndo, AnInteractionThatChangedNothingLeavesNoSnapshot) {
    for (TIEVUndoMode mode : {ieumSeparated, ieumShared}) {
        SCOPED_TRACE(int(mode));
        v->GetIEBitmap()->Allocate(8, 8, ie24RGB);
        v->SetObjUndoMode(mode);
        v->SetObjAutoUndo(true);
        v->PrepareObjUndo();
        EXPECT_TRUE(v->GetUndoArmed());
        const int32_t before = mode == ieumSeparated ? v->GetObjUndoCount() : v->GetProc()->GetUndoCount();
        EXPECT_EQ(before, 1);
        v->DropUnusedObjUndo();
        const int32_t after = mode == ieumSeparated ? v->GetObjUndoCount() : v->GetProc()->GetUndoCount();
        EXPECT_EQ(after, 0);
    }
    v->SetObjAutoUndo(false);
    v->PrepareObjUndo();
    EXPECT_FALSE(v->GetUndoArmed());
}

TEST_F(VectUndo, SharedSnapshotsUndoAndRedoThroughTheProcessingComponent) {
    v->GetIEBitmap()->Allocate(8, 8, ie24RGB);
    v->SetObjUndoMode(ieumShared);
    v->SetObjAutoUndo(true);
    v->AddObjectCopy(Box(1));
    v->PrepareObjUndo();  // as a mouse press before creating a box
    v->AddObjectCopy(Box(2));
    TVovozIdProc* proc = v->GetProc();
    ASSERT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(proc->GetUndoSourceAt(0), ieuObject);
    proc->Undo(true);
    EXPECT_EQ(v->GetObjectsCount(), 1);
    EXPECT_EQ(v->GetObjRecord(0)->X1, 1);
    proc->Redo();
    ASSERT_EQ(v->GetObjectsCount(), 2);
    EXPECT_EQ(v->GetObjRecord(1)->X1, 2);
}

}  // namespace
}  // namespace ie::test
