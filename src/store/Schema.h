#pragma once

#include <QString>

// Table and column names of the shared database, written once.
namespace granovia::schema {

namespace ppsila {
inline const QString Table = QStringLiteral("ppsila");
inline const QString Id = QStringLiteral("id");
inline const QString Silo = QStringLiteral("silo");
inline const QString Stav = QStringLiteral("stav");
inline const QString Kapacita = QStringLiteral("kapacita");
inline const QString Partie = QStringLiteral("partie");
inline const QString NazDru = QStringLiteral("naz_dru");
inline const QString NazOdru = QStringLiteral("naz_odru");
inline const QString Stupen = QStringLiteral("stupen");
inline const QString Navoz = QStringLiteral("navoz");
inline const QString Ppohyb = QStringLiteral("ppohyb");
} // namespace ppsila

// The movement journal; silo and silob hold the two digits of a silo label.
namespace ppsilap {
inline const QString Table = QStringLiteral("ppsilap");
inline const QString Id = QStringLiteral("id");
inline const QString Silo = QStringLiteral("silo");
inline const QString Silob = QStringLiteral("silob");
inline const QString Cislopp = QStringLiteral("cislopp");
inline const QString Mnozstvi = QStringLiteral("mnozstvi");
inline const QString Partie = QStringLiteral("partie");
inline const QString NazDru = QStringLiteral("naz_dru");
inline const QString NazOdru = QStringLiteral("naz_odru");
inline const QString Stupen = QStringLiteral("stupen");
inline const QString Datum = QStringLiteral("datum");
} // namespace ppsilap

namespace historiem {
inline const QString Table = QStringLiteral("historiem");
// The older layout of the start journal has exactly this many columns and is
// written by position.
constexpr int PositionalColumnCount = 9;
} // namespace historiem

} // namespace granovia::schema
