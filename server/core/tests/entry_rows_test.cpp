#include "server/core/tests/doc_fixture.h"

#include <stdexcept>

using doctest::DocTest;

TEST(EntryRow, FieldsNeverRunPastTheirWidth) {
    EntryRow row;
    EXPECT_TRUE(row.Field(FieldHostName).empty());
    std::string name79(79, 'h');
    row.SetField(FieldHostName, name79);
    EXPECT_EQ(row.Field(FieldHostName), name79); // the engine's longest name fits whole
    row.SetField(FieldHostName, std::string(200, 'x'));
    EXPECT_EQ(row.Field(FieldHostName), std::string(79, 'x'));
    row.SetField(FieldComment, std::string(100, 'c'));
    EXPECT_EQ(row.Field(FieldComment), std::string(64, 'c'));
    EXPECT_EQ(row.comment[64], '\0');
    // A two-byte character across the limit goes whole, not halved.
    row.SetField(FieldComment, std::string(63, 'c') + "\xC3\xA9" + "z");
    EXPECT_EQ(row.Field(FieldComment), std::string(63, 'c'));
    row.SetField(FieldHardwareAddress, "02004C123456FF");
    EXPECT_EQ(row.Field(FieldHardwareAddress), "02004C123456");
    row.SetField(FieldGateway, "10.1.1.1");
    row.SetField(FieldGateway, "");
    EXPECT_EQ(row.Field(FieldGateway), "");
    row.SetField(6, "ignored");
    EXPECT_TRUE(row.Field(-1).empty());
    EXPECT_EQ(EntryRow::FieldCapacity(FieldIpAddress), 16u);
}

TEST(EntryRowArray, AppendStoreRebuild) {
    EntryRowArray rows;
    EXPECT_EQ(rows.Append(doctest::Row("02004C000001", "a", "10.0.0.1")), 0);
    EXPECT_EQ(rows.Append(EntryRow{}), 1);
    rows[1].isNew = true;
    rows.StoreAt(4, doctest::Row("02004C000004", "d", "10.0.0.4"));
    ASSERT_EQ(rows.Count(), 5);
    EXPECT_TRUE(rows[2].Field(FieldHostName).empty());
    EXPECT_EQ(rows[4].Field(FieldIpAddress), "10.0.0.4");
    EXPECT_THROW((void)rows[5], std::out_of_range);
    rows.Rebuild({{"02004C000009", "z", "10.0.0.9", "c", "", "10.0.0.254"}});
    ASSERT_EQ(rows.Count(), 1);
    EXPECT_FALSE(rows[0].isNew || rows[0].modified || rows[0].deleted);
    EXPECT_EQ(rows[0].Field(FieldGateway), "10.0.0.254");
}

TEST_F(DocTest, RecentAddressesKeepTheEightLatest) {
    CKorrindDoc doc(table);
    for (int i = 1; i <= 9; ++i)
        EXPECT_EQ(Told(doc.InsertHAEntry("02004C00000" + std::to_string(i))), 1);
    EXPECT_EQ(Told(doc.InsertHAEntry("02004C000009")), 1); // already there: not twice
    ASSERT_EQ(doc.RecentAddresses().size(), 8u);
    EXPECT_EQ(doc.RecentAddresses().front(), "02004C000002");
    EXPECT_EQ(doc.RecentAddresses().back(), "02004C000009");
    Told(doc.DeleteHAEntry("02004c000005")); // exact comparison
    EXPECT_EQ(doc.RecentAddresses().size(), 8u);
    Told(doc.DeleteHAEntry("02004C000005"));
    EXPECT_EQ(doc.RecentAddresses().size(), 7u);
    EXPECT_TRUE(told.empty());
}

TEST_F(DocTest, ListedAddressIgnoresCaseAndDeletedRows) {
    CKorrindDoc doc(table);
    EntryRowArray& rows = doc.EntryRows();
    rows.Append(doctest::Row("02004C00ABCD", "a", "10.0.0.1"));
    rows.Append(doctest::Row("02004C00EEEE", "b", "10.0.0.2"));
    rows[1].deleted = true;
    EXPECT_EQ(doc.IsListedAddress("02004c00abcd"), 1);
    EXPECT_EQ(doc.IsListedAddress("02004C00EEEE"), 0);
    EXPECT_EQ(doc.IsListedAddress("02004C00ABC"), 0);
}
