#pragma once

#include "store/Connection.h"

#include <QList>
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

// A silo's row as stored; stav is infinite for a silo without a row.
struct StoredSilo {
    qint64 id = 0;
    double stav = 0;
    QString partie;
    QString druh;
    QString navoz;
    QString ppohyb;
    bool navozIsNull = true;
    bool ppohybIsNull = true;
};

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
    // The first row of a silo number.
    StoredSilo silo(int number);
    // The seed in the store: every silo's stock, and what left the silos less
    // what came into them from outside.
    double storeTotal();
    // The quantities of the journal, oldest first.
    QList<double> journalQuantities();
    // Runs every statement of an SQL file.
    void load(const QString &path);

private:
    QString m_name;
    Connection m_admin;
};

QString schemaPath();

// How many selects the session has sent.
qint64 selectCount(Connection &connection);
// The first field of the first row, as an integer.
qint64 scalar(Connection &connection, const QString &statement);
// The first field of every row as text, one row a line.
QString firstColumn(Connection &connection, const QString &statement);
// The longest wait of a fault case, in the form the fault tests print.
void printFreeze(const char *what, qint64 ms);

} // namespace granovia::test
