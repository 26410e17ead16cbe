-- Tables of the access-rights administration tool and of the dispatch applications it serves.
-- Runs unchanged on Oracle and on the embedded server; every statement ends with ";" at the end of a line.
-- Lengths are in bytes (Cyrillic text takes two bytes a letter in AL32UTF8).

-- Sign-in tables, shared with the dispatch applications.
CREATE TABLE USER_PSW (
  TABNUM        NUMBER(9)      NOT NULL,
  NAME          VARCHAR2(30),
  PWD           VARCHAR2(30),
  ALLNAME       VARCHAR2(200),
  GROUPID       NUMBER(9),
  WENABLED      CHAR(1),
  IPADR         VARCHAR2(1000),
  IP            VARCHAR2(40),
  Shema         NUMBER(9),
  BMMessage     CHAR(1),
  BMGoToMessage CHAR(1),
  BMRegl        CHAR(1),
  BMSound       CHAR(1),
  BMChWind      CHAR(1),
  BMZklTop      CHAR(1),
  CONSTRAINT PK_USER_PSW PRIMARY KEY (TABNUM)
);

-- The administration window edits the same rows the sign-in reads: a user added there can sign in.
CREATE SYNONYM KMR_USER_PSW FOR USER_PSW;

CREATE TABLE USER_G_P (
  USER_GROUP NUMBER(9),
  USER_PROP  NUMBER(9)
);

CREATE TABLE USER_GROUP (
  ID       NUMBER(9),
  ACTIONID NUMBER(9)
);

-- Administration tables.
CREATE TABLE KMR_PROGRAMMEXE (
  ID_PROGRAMMEXE NUMBER(9)     NOT NULL,
  PRNAME         VARCHAR2(255) NOT NULL,
  PRALIAS        VARCHAR2(200),
  PRDATE_TIME    DATE,
  PRCOD          LONG RAW,
  CONSTRAINT PK_KMR_PROGRAMMEXE PRIMARY KEY (ID_PROGRAMMEXE)
);

CREATE UNIQUE INDEX UQ_KMR_PROGRAMMEXE_PRNAME ON KMR_PROGRAMMEXE (PRNAME);

-- Exactly these two columns in this order: the grant insert names none. Duplicates are allowed.
CREATE TABLE KMR_PROG_FOR_USER (
  TABNUM      NUMBER(9),
  ID_PROGRAMM NUMBER(9)
);

CREATE INDEX IX_KMR_PROG_FOR_USER ON KMR_PROG_FOR_USER (TABNUM, ID_PROGRAMM);

-- Exactly these three columns in this order: the group insert names none.
CREATE TABLE KMR_GROUP_FOR_PROG (
  ID_PROGRAMM NUMBER(9)      NOT NULL,
  ID_GROUP    NUMBER(9)      NOT NULL,
  GROUP_NAME  VARCHAR2(200),
  CONSTRAINT PK_KMR_GROUP_FOR_PROG PRIMARY KEY (ID_PROGRAMM, ID_GROUP)
);

-- No unique key: a membership is rewritten as delete and insert, and old rows may repeat.
CREATE TABLE KMR_GROUP_FOR_USER (
  TABNUM      NUMBER(9),
  ID_PROGRAMM NUMBER(9),
  ID_GROUP    NUMBER(9)
);

CREATE INDEX IX_KMR_GROUP_FOR_USER ON KMR_GROUP_FOR_USER (TABNUM, ID_PROGRAMM);

CREATE TABLE KMR_PROG_PROP (
  ID_PROP     NUMBER(9),
  NAME_PROP   VARCHAR2(200),
  ID_PROGRAMM NUMBER(9)
);

CREATE TABLE KMR_PROP_FOR_PROG (
  ID_PROP     NUMBER(9)      NOT NULL,
  ID_PROGRAMM NUMBER(9),
  FORM_NAME   VARCHAR2(100),
  PROP_NAME   VARCHAR2(100),
  PROP_TYPE   VARCHAR2(100),
  PROP_ALIAS  VARCHAR2(400),
  CONSTRAINT PK_KMR_PROP_FOR_PROG PRIMARY KEY (ID_PROP)
);

-- Change log, written by the dispatch applications.
CREATE TABLE kmr_protokol (
  ID_PROGRAMM NUMBER(9),
  ID_USER     NUMBER(9),
  DATE_CHANGE DATE,
  FIELD_NAME  VARCHAR2(30),
  OLD_VALUE   VARCHAR2(2000),
  NEW_VALUE   VARCHAR2(2000)
);

-- The event log lists a period of all programs or of one: the period leads, so both statements read
-- only the days asked for (a program-first index would make the all-programs statement read every row).
CREATE INDEX IX_KMR_PROTOKOL_PERIOD ON kmr_protokol (DATE_CHANGE, ID_PROGRAMM);

CREATE TABLE kmr_field_name (
  FIELD_NAME  VARCHAR2(30),
  OBJECT_NAME VARCHAR2(200)
);

-- Server state: one row on each server, set by srv_main.sql or srv_reserve.sql.
CREATE TABLE SRV (
  MAIN   NUMBER(9),
  SECOND NUMBER(9),
  RO     NUMBER(9)
);
