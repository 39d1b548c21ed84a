#pragma once

#include "store/Connection.h"

#include <QString>
#include <optional>

namespace granovia::test {

// The private server that scripts/test.sh starts and describes in the
// GRANOVIA_TEST_DB_* variables; nothing when they are missing.
std::optional<ConnectionSettings> serverSettings();

// A test that needs the database fails, not skips, without one.
#define GRANOVIA_REQUIRE_SERVER()                                                                  \
    do {                                                                                           \
        if (!granovia::test::serverSettings())                                                     \
            QFAIL("No test database: run the suite through scripts/test.sh");                      \
    } while (false)

// A database of its own for one test, created with the project's schema and
// dropped again at the end.
class ScratchDatabase final {
public:
    explicit ScratchDatabase(const QString &name);
    ~ScratchDatabase();
    Q_DISABLE_COPY_MOVE(ScratchDatabase)

    // Settings that open this database.
    ConnectionSettings settings() const;
    // An administrative session on this database.
    Connection &admin() { return m_admin; }
    void execute(const QString &statement) { m_admin.execute(statement); }
    qint64 count(const QString &table);
    // Runs every statement of an SQL file.
    void load(const QString &path);

private:
    QString m_name;
    Connection m_admin;
};

QString schemaPath();

} // namespace granovia::test
