-- Tables of the silo module. The database itself is created by whoever
-- loads this file (the test harness, scripts/run.sh or the suite's admin).
-- Text columns hold Windows-1250 text; this program talks utf8mb4 and the
-- server converts, so that columns of other character sets keep their text.

CREATE TABLE IF NOT EXISTS ppsila (
  id          INT NOT NULL AUTO_INCREMENT,
  silo        INT NULL,
  stav        DOUBLE NULL DEFAULT 0,
  kapacita    DOUBLE NULL DEFAULT 0,
  partie      VARCHAR(30) NULL DEFAULT '',
  naz_dru     VARCHAR(40) NULL DEFAULT '',
  naz_odru    VARCHAR(40) NULL DEFAULT '',
  stupen      VARCHAR(20) NULL DEFAULT '',
  navoz       DATETIME NULL,
  ppohyb      DATETIME NULL,
  nazevosiva  VARCHAR(60) NULL DEFAULT '',
  PRIMARY KEY (id),
  KEY ppsila_silo (silo)
) ENGINE=InnoDB DEFAULT CHARSET=cp1250;

CREATE TABLE IF NOT EXISTS ppsilap (
  id        INT NOT NULL AUTO_INCREMENT,
  silo      VARCHAR(3) NULL DEFAULT '',
  silob     VARCHAR(3) NULL DEFAULT '',
  cislopp   VARCHAR(20) NULL DEFAULT '',
  mnozstvi  DOUBLE NULL DEFAULT 0,
  partie    VARCHAR(30) NULL DEFAULT '',
  naz_dru   VARCHAR(40) NULL DEFAULT '',
  naz_odru  VARCHAR(40) NULL DEFAULT '',
  stupen    VARCHAR(20) NULL DEFAULT '',
  datum     DATETIME NULL,
  PRIMARY KEY (id),
  KEY ppsilap_datum (datum)
) ENGINE=InnoDB DEFAULT CHARSET=cp1250;

-- Start journal of the suite's modules, in the named layout (ten columns).
CREATE TABLE IF NOT EXISTS historiem (
  id            INT NOT NULL AUTO_INCREMENT,
  modul         VARCHAR(60) NULL DEFAULT '',
  pc            VARCHAR(10) NULL DEFAULT '',
  stredisko     VARCHAR(10) NULL DEFAULT '',
  datumcas      DATETIME NULL,
  ipadr         VARCHAR(15) NULL DEFAULT '',
  computeruser  VARCHAR(62) NULL DEFAULT '',
  computername  VARCHAR(15) NULL DEFAULT '',
  mdatumcas     DATETIME NULL,
  mverze        VARCHAR(23) NULL DEFAULT '',
  PRIMARY KEY (id)
) ENGINE=InnoDB DEFAULT CHARSET=cp1250;
