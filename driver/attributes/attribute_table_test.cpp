// The table's records: their order, their owner links, and a record that lost its link.
#include "attributes/attribute_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "tevo/testing/temp_dir.h"

namespace tevo::driver {
namespace {

std::string MessagesLog() {
    const auto path = tevo::testing::CurrentSystemRoot() / "messages.log";
    return std::filesystem::exists(path) ? tevo::testing::ReadFile(path) : std::string();
}

TEST(AttributeTable, RecordsAreVisitedInTableOrder) {
    AttributeTable table(nullptr);
    std::vector<const AttributeRecord*> visited;
    table.ForEachRecord([&](AttributeRecord& record) { visited.push_back(&record); });
    ASSERT_EQ(visited.size(), 101u + 2 * (3 + 6));
    EXPECT_EQ(visited[0], &table.Record(AttributeId::kTevoAcquisitionDetectorType));
    EXPECT_EQ(visited[100], &table.Record(AttributeId::kSpecAnTriggerVideoSlope));
    EXPECT_EQ(visited[101], &table.Trace(TraceList::kSpecAn, 0).Record(TraceAttribute::kSize));
    EXPECT_EQ(visited[102], &table.Trace(TraceList::kSpecAn, 0).Record(TraceAttribute::kType));
    EXPECT_EQ(visited[107], &table.Trace(TraceList::kTevo, 0).Record(TraceAttribute::kSize));
    EXPECT_EQ(visited[118], &table.Trace(TraceList::kTevo, 5).Record(TraceAttribute::kType));
}

TEST(AttributeTable, OwnerLinksLeadToTheRoot) {
    AttributeTable table(nullptr);
    EXPECT_EQ(table.Record(AttributeId::kTevoFrequencyStart).GetOwner(), &table);
    TraceRecord& trace = table.Trace(TraceList::kTevo, 3);
    EXPECT_EQ(trace.Record(TraceAttribute::kType).GetOwner(), &trace);
    EXPECT_EQ(trace.TraceNumber(), 4);
    EXPECT_EQ(trace.List(), TraceList::kTevo);
    EXPECT_EQ(table.Trace(TraceList::kSpecAn, 2).TraceNumber(), 3);
    EXPECT_EQ(trace.Item(), nullptr);
}

TEST(AttributeTable, RecordWithoutRootShowsTheMessageAndDoesNothing) {
    AttributeTable table(nullptr);
    double value = 4.0;
    EXPECT_EQ(table.Get(AttributeId::kTevoFrequencyStart, &value), E_UNEXPECTED);
    EXPECT_EQ(value, 4.0);
    EXPECT_EQ(table.Put(AttributeId::kTevoFrequencyStart, 1.0), E_UNEXPECTED);
    LONG size = 0;
    EXPECT_EQ(table.TraceGet(TraceList::kTevo, 0, TraceAttribute::kSize, &size), E_UNEXPECTED);
    EXPECT_EQ(MessagesLog(),
              "Error: GetRoot() == NULL\nError: GetRoot() == NULL\nError: GetRoot() == NULL\n");
}

}  // namespace
}  // namespace tevo::driver
