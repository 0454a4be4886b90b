// The three database reports through the SQLite ODBC driver, on a database
// file laid out here so that the statements find their tables.
#include "utils/odbc_session.h"
#include "utils/tests/lab_test_support.h"

#include <filesystem>

namespace {

using namespace dravik::testing;

// A variant array of variants as (field, row) cells; dimensions first.
struct Cells {
    LONG fields = 0;
    LONG rows = 0;
    explicit Cells(const VARIANT& v) : array_(v.parray) {
        EXPECT_EQ(v.vt, VT_ARRAY | VT_VARIANT);
        if (v.vt != (VT_ARRAY | VT_VARIANT))
            return;
        SafeArrayGetUBound(array_, 1, &fields);
        SafeArrayGetUBound(array_, 2, &rows);
        ++fields;
        ++rows;
    }
    VARIANT At(LONG field, LONG row) const {
        VARIANT out;
        VariantInit(&out);
        const LONG at[2] = {field, row};
        EXPECT_EQ(SafeArrayGetElement(array_, at, &out), S_OK);
        return out;
    }
    std::u16string Text(LONG field, LONG row) const {
        VARIANT v = At(field, row);
        std::u16string text = v.vt == VT_BSTR ? std::u16string(v.bstrVal) : u"(not text)";
        VariantClear(&v);
        return text;
    }
    VARTYPE Type(LONG field, LONG row) const { return At(field, row).vt; }
    double Number(LONG field, LONG row) const {
        VARIANT v = At(field, row);
        return v.vt == VT_I4 ? v.lVal : v.vt == VT_R8 ? v.dblVal : -1;
    }

private:
    SAFEARRAY* array_ = nullptr;
};

struct DbReports {
    VARIANT users, tablespaces, directories;
    DbReports() {
        VariantInit(&users);
        VariantInit(&tablespaces);
        VariantInit(&directories);
    }
    ~DbReports() {
        VariantClear(&users);
        VariantClear(&tablespaces);
        VariantClear(&directories);
    }
    bool AllEmpty() const {
        return users.vt == VT_EMPTY && tablespaces.vt == VT_EMPTY && directories.vt == VT_EMPTY;
    }
};

class LabDatabase : public LabTest {
protected:
    void SetUp() override {
        LabTest::SetUp();
        // The driver is registered in a private driver list, not the machine's.
        WriteFile(dir_ + "/odbcinst.ini",
                  "[OlvaniSQLite]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n"
                  "[OlvaniRefusing]\nDriver=" REFUSING_DRIVER "\n");
        WriteFile(dir_ + "/odbc.ini", "");
        setenv("ODBCSYSINI", dir_.c_str(), 1);
        setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
        database_ = dir_ + "/lab.db";
        id_ = Wide("DRIVER={OlvaniSQLite};Database=" + database_ + ";Timeout=2000");
        for (const char* folder : {"/store1", "/store2"})
            std::filesystem::create_directory(dir_ + folder);
        Run({u"create table \"v$session\" (osuser text, machine text)",
             u"insert into \"v$session\" values ('anna', 'lab-1'), ('UNKNOWN', 'x'), "
             u"('bo', NULL)",
             u"create table space (name text, free integer, total integer)",
             u"insert into space values ('USERS', 1048576, 5000000000), ('SYSTEM', 0, 2)",
             u"create table type_registry (locationstring text)"});
        for (const char* folder : {"/store2", "/store1", "/store2"})
            Run({u"insert into type_registry values ('" + Wide(dir_ + folder) + u"')"});
    }
    void Run(std::initializer_list<std::u16string> statements) {
        dravik::odbc::Session session;
        dravik::odbc::Failure failure;
        ASSERT_TRUE(session.Open(id_, &failure)) << olvani::Utf16ToUtf8(failure.text);
        for (const std::u16string& sql : statements)
            ASSERT_TRUE(session.Query(sql, &failure)) << olvani::Utf16ToUtf8(failure.text);
    }
    static void ForSqlite() {
        SetLns("TablespaceQuery", "select name, free, total from space");
        SetLns("FileStoreQuery", "select distinct locationstring from type_registry order by 1");
    }

    std::string database_;
    std::u16string id_;
};

TEST_F(LabDatabase, TheFixedStatementsOfAnotherDialectFailWithTheTableNamed) {
    DbReports reports;
    EXPECT_EQ(
        ASVeskGetDbInfo(id_.c_str(), &reports.users, &reports.tablespaces, &reports.directories),
        kQueryFailed);
    EXPECT_EQ(ErrorMessage(), u"Cannot read the sys.dba_free_space table of the database "
                              u"'DRIVER={OlvaniSQLite}' (" +
                                  Wide(database_) + u").");
    EXPECT_TRUE(reports.AllEmpty());
    // With its own tablespace statement the site gets as far as the folders.
    SetLns("TablespaceQuery", "select name, free, total from space");
    EXPECT_EQ(
        ASVeskGetDbInfo(id_.c_str(), &reports.users, &reports.tablespaces, &reports.directories),
        kQueryFailed);
    EXPECT_EQ(ErrorMessage(), u"Cannot read the type_registry table of the database "
                              u"'DRIVER={OlvaniSQLite}' (" +
                                  Wide(database_) + u").");
    EXPECT_TRUE(reports.AllEmpty());
    EXPECT_EQ(Reports(), 2u);
}

TEST_F(LabDatabase, ASiteWithItsOwnStatementsGetsAllThreeReports) {
    ForSqlite();
    DbReports reports;
    ASSERT_EQ(
        ASVeskGetDbInfo(id_.c_str(), &reports.users, &reports.tablespaces, &reports.directories),
        S_OK);
    const Cells users(reports.users);
    ASSERT_EQ(std::make_pair(users.fields, users.rows), std::make_pair(2, 2));
    EXPECT_EQ(users.Text(0, 0), u"anna");
    EXPECT_EQ(users.Text(1, 0), u"lab-1");
    EXPECT_EQ(users.Text(0, 1), u"bo");
    EXPECT_EQ(users.Type(1, 1), VT_EMPTY); // NULL
    const Cells space(reports.tablespaces);
    ASSERT_EQ(std::make_pair(space.fields, space.rows), std::make_pair(3, 2));
    EXPECT_EQ(space.Text(0, 0), u"USERS");
    EXPECT_EQ(space.Type(1, 0), VT_I4);
    EXPECT_EQ(space.Number(1, 0), 1048576);
    // Beyond 32 bits a number is still whole, as a double.
    EXPECT_EQ(space.Type(2, 0), VT_R8);
    EXPECT_EQ(space.Number(2, 0), 5000000000.0);
    const Cells folders(reports.directories);
    ASSERT_EQ(std::make_pair(folders.fields, folders.rows), std::make_pair(3, 2));
    DWORD total = 0, free = 0;
    ASSERT_EQ(ASVeskGetDiskSpace(Wide(dir_).c_str(), &total, &free), S_OK);
    for (LONG row = 0; row < 2; ++row) {
        EXPECT_EQ(folders.Text(0, row), Wide(dir_ + (row ? "/store2" : "/store1")));
        EXPECT_EQ(folders.Type(1, row), VT_I4);
        EXPECT_GT(folders.Number(1, row), 0);
        EXPECT_EQ(static_cast<DWORD>(folders.Number(2, row)), total);
    }
    EXPECT_EQ(Reports(), 0u);

    // No folders: the report is empty, and still no failure.
    Run({u"delete from type_registry"});
    DbReports again;
    ASSERT_EQ(ASVeskGetDbInfo(id_.c_str(), &again.users, &again.tablespaces, &again.directories),
              S_OK);
    EXPECT_EQ(again.directories.vt, VT_EMPTY);
    EXPECT_EQ(again.users.vt, VT_ARRAY | VT_VARIANT);
}

TEST_F(LabDatabase, IdsThatCannotBeOpenedAreReportedByTheirParts) {
    ForSqlite();
    DbReports reports;
    EXPECT_EQ(ASVeskGetDbInfo(u"DRIVER={OlvaniSQLite};Database", &reports.users,
                              &reports.tablespaces, &reports.directories),
              E_UNEXPECTED);
    EXPECT_EQ(ErrorMessage(), u"The database ID 'DRIVER={OlvaniSQLite};Database' is not valid.");
    const std::u16string noDriver = u"DRIVER={Nowhere};Database=/srv/lab.db;Timeout=1";
    EXPECT_EQ(ASVeskGetDbInfo(noDriver.c_str(), &reports.users, &reports.tablespaces,
                              &reports.directories),
              kNoConnection);
    EXPECT_EQ(ErrorMessage(), u"Cannot connect to the database 'DRIVER={Nowhere}' (/srv/lab.db).");
    // A login turned away is told apart from a database that cannot be had.
    EXPECT_EQ(ASVeskGetDbInfo(u"DRIVER={OlvaniRefusing};Database=lab;Timeout=1", &reports.users,
                              &reports.tablespaces, &reports.directories),
              kLoginRefused);
    EXPECT_EQ(ErrorMessage(), u"Cannot connect to the database 'DRIVER={OlvaniRefusing}' (lab) as "
                              u"the user 'VeskGuest': the user name or password is wrong.");
    // An id may neither make the driver manager write a file nor load a
    // library by path.
    const std::string saved = dir_ + "/saved.dsn";
    for (const std::u16string& id :
         {id_ + u";SAVEFILE=" + Wide(saved),
          Wide("DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=" + database_ +
               ";Timeout=1")})
        EXPECT_EQ(
            ASVeskGetDbInfo(id.c_str(), &reports.users, &reports.tablespaces, &reports.directories),
            kNoConnection);
    EXPECT_FALSE(std::filesystem::exists(saved));
    EXPECT_TRUE(reports.AllEmpty());
    EXPECT_EQ(Reports(), 5u);
    EXPECT_EQ(ASVeskGetDbInfo(id_.c_str(), nullptr, &reports.tablespaces, &reports.directories),
              E_INVALIDARG);
}

} // namespace
