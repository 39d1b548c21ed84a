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
inline const QString Nazevosiva = QStringLiteral("nazevosiva");
} // namespace ppsila

// The movement journal: one line per movement.
namespace ppsilap {
inline const QString Table = QStringLiteral("ppsilap");
inline const QString Id = QStringLiteral("id");
inline const QString Silo = QStringLiteral("silo");   // the silo the seed left
inline const QString Silob = QStringLiteral("silob"); // the silo it went to; empty for a removal
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
inline const QString Modul = QStringLiteral("modul");
inline const QString Pc = QStringLiteral("pc");
inline const QString Stredisko = QStringLiteral("stredisko");
inline const QString Datumcas = QStringLiteral("datumcas");
inline const QString Ipadr = QStringLiteral("ipadr");
inline const QString Computeruser = QStringLiteral("computeruser");
inline const QString Computername = QStringLiteral("computername");
inline const QString Mdatumcas = QStringLiteral("mdatumcas");
inline const QString Mverze = QStringLiteral("mverze");
// The older layout of the start journal has exactly this many columns and is
// written by position.
constexpr int PositionalColumnCount = 9;
} // namespace historiem

} // namespace granovia::schema
