// The unit database's layout version: files made now, and files that hold
// rows from before versions were kept.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QTemporaryDir>

#include "UnitDatabase.h"

namespace kv37 {
namespace {

TEST(UnitDatabase, ANewFileIsOfThisLayoutAndAFileWithOlderRowsIsMarkedOld) {
  QTemporaryDir dir;
  const std::string fresh = dir.filePath("new.db").toStdString();
  EXPECT_EQ(UnitDatabase(fresh).SchemaVersion(), UnitDatabase::kSchemaVersion);
  EXPECT_EQ(UnitDatabase(fresh, true).SchemaVersion(), UnitDatabase::kSchemaVersion);

  // A file an earlier station made: the table and a row, no version.
  const std::string old = dir.filePath("old.db").toStdString();
  {
    UnitDatabase made(old);
    made.Record(UnitRow{});
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "DROP TABLE units_version", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(UnitDatabase(old, true).SchemaVersion(), 1);
  EXPECT_EQ(UnitDatabase(old).SchemaVersion(), 1);
  EXPECT_EQ(UnitDatabase(old).Query({}).size(), 1u);
}

}  // namespace
}  // namespace kv37
