// node-oracledb 6 in thick mode, whose C layer (ODPI-C) was written against Oracle's client, talks to an
// embedded server through libocisqlite standing in as libclntsh.so. Each case checks what an application
// of that driver sees; the round-trip trace shows what reached the server.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const binDir = process.env.KMR_BIN_DIR;
const driverDir = process.env.KMR_ODPI_DRIVER_DIR;

let oracledb;
try {
  oracledb = require(path.join(driverDir, 'node_modules', 'oracledb'));
} catch (e) {
  console.log(`SKIPPED: node-oracledb 6 is not installed in ${driverDir} (scripts/test installs it with npm): ${e.message.split('\n')[0]}`);
  process.exit(77);
}

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'odpi-driver-'));
const dataDir = path.join(work, 'data');
const libDir = path.join(work, 'client');
const traceFile = path.join(work, 'trace.log');
const account = { user: 'scott', password: 'tiger', connectString: 'srv' };

function admin(...args) {
  return execFileSync(path.join(binDir, 'ocisqlite-admin'), args, { env: { ...process.env, OCISQLITE_DATA: dataDir }, encoding: 'utf8' });
}

// The trace lines of one call for one statement text.
function traceCalls(call, text) {
  const wanted = ` ${call} ${text.replace(/\\/g, '\\\\').replace(/\r/g, '\\r').replace(/\n/g, '\\n')}`;
  return fs.readFileSync(traceFile, 'utf8').split('\n').filter((line) => line.endsWith(wanted)).length;
}

async function withConnection(fn) {
  const conn = await oracledb.getConnection(account);
  try {
    return await fn(conn);
  } finally {
    await conn.close();
  }
}

before(async () => {
  fs.mkdirSync(dataDir);
  fs.mkdirSync(libDir);
  fs.symlinkSync(path.join(binDir, 'libocisqlite.so'), path.join(libDir, 'libclntsh.so'));
  admin('create', 'srv', '--user', 'scott', '--password', 'tiger');
  process.env.OCISQLITE_DATA = dataDir;
  process.env.OCISQLITE_TRACE = traceFile;
  oracledb.initOracleClient({ libDir });
  await withConnection(async (conn) => {
    await conn.execute(`CREATE TABLE people (
      id NUMBER(9) PRIMARY KEY, name VARCHAR2(60), amount NUMBER(15,3), born DATE, photo LONG RAW)`);
  });
});

after(() => {
  fs.rmSync(work, { recursive: true, force: true });
});

test('thick mode loads the embedded server as its client and reads both versions', async () => {
  assert.equal(oracledb.thin, false);
  assert.ok(oracledb.oracleClientVersion >= 1900000000, `client ${oracledb.oracleClientVersionString}`);
  await withConnection(async (conn) => {
    assert.equal(conn.oracleServerVersionString, '19.3.0.0.0');
    await conn.ping();
  });
});

test('binds by name and by position reach a query fetched in several calls', async () => {
  await withConnection(async (conn) => {
    const rows = [];
    for (let i = 1; i <= 30; i++)
      rows.push([i, `Row ${i}`]);
    const r = await conn.executeMany('INSERT INTO people (id, name) VALUES (:1, :2)', rows);
    assert.equal(r.rowsAffected, 30);
    await conn.commit();

    const byName = 'SELECT id, name FROM people WHERE id BETWEEN :lo AND :hi ORDER BY id';
    const named = await conn.execute(byName, { lo: 3, hi: 14 }, { fetchArraySize: 4, prefetchRows: 0 });
    assert.deepEqual(named.rows.map((row) => row[0]), [3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14]);
    assert.equal(named.rows[0][1], 'Row 3');
    assert.ok(traceCalls('OCIStmtFetch2', byName) >= 3, 'twelve rows four at a time take several fetches');

    const byPosition = 'SELECT name FROM people WHERE id > :1 AND id <= :2 ORDER BY id DESC';
    const rs = (await conn.execute(byPosition, [20, 27], { resultSet: true, fetchArraySize: 3 })).resultSet;
    const names = [];
    let row;
    while ((row = await rs.getRow()))
      names.push(row[0]);
    await rs.close();
    assert.deepEqual(names, ['Row 27', 'Row 26', 'Row 25', 'Row 24', 'Row 23', 'Row 22', 'Row 21']);
    assert.ok(traceCalls('OCIStmtFetch2', byPosition) >= 3);
  });
});

test('Cyrillic text, numbers and dates come back exactly as written', async () => {
  // Moscow kept summer time in 1990 and has none now: both offsets are crossed.
  const values = [
    [101, 'Щёлоков Эдуард Ёжикович', 12345.678, new Date(1990, 4, 17, 10, 20, 30)],
    [102, 'ОАО «Энергосбыт» — диспетчер', -0.001, new Date(2026, 0, 31, 23, 59, 59)],
    [103, 'Ж', 123456789012.5, new Date(1901, 11, 14, 0, 0, 1)],
    [104, 'x'.repeat(60), 0.1, new Date(2024, 1, 29, 12, 0, 0)],
  ];
  await withConnection(async (conn) => {
    for (const [id, name, amount, born] of values)
      await conn.execute('INSERT INTO people (id, name, amount, born) VALUES (:id, :name, :amount, :born)',
        { id, name, amount, born });
    await conn.commit();
    const r = await conn.execute(
      `SELECT id, name, amount, born, TO_CHAR(born, 'YYYY-MM-DD HH24:MI:SS') AS born_text FROM people
       WHERE id BETWEEN 101 AND 104 ORDER BY id`);
    assert.deepEqual(r.rows.map((row) => row.slice(0, 4)), values);
    // The server holds the client's wall clock: a DATE has no time zone.
    assert.equal(r.rows[0][4], '1990-05-17 10:20:30');
    assert.equal(r.rows[1][4], '2026-01-31 23:59:59');
    assert.deepEqual(r.metaData.map((m) => m.name), ['ID', 'NAME', 'AMOUNT', 'BORN', 'BORN_TEXT']);
    assert.equal(r.metaData[1].dbType, oracledb.DB_TYPE_VARCHAR);
    assert.equal(r.metaData[2].dbType, oracledb.DB_TYPE_NUMBER);
    assert.equal(r.metaData[2].precision, 15);
    assert.equal(r.metaData[2].scale, 3);
    assert.equal(r.metaData[3].dbType, oracledb.DB_TYPE_DATE);
    assert.equal(r.metaData[0].nullable, false);
  });
});

test('a second connection sees committed changes only', async () => {
  const writer = await oracledb.getConnection(account);
  const reader = await oracledb.getConnection(account);
  try {
    const count = async () => (await reader.execute('SELECT COUNT(*) FROM people WHERE id = 200')).rows[0][0];
    const name = async (conn) => (await conn.execute('SELECT name FROM people WHERE id = 200')).rows[0][0];

    await writer.execute("INSERT INTO people (id, name) VALUES (200, 'Первый')");
    assert.equal(await count(), 0, 'an uncommitted insert is not seen');
    await writer.commit();
    assert.equal(await count(), 1);

    await writer.execute("UPDATE people SET name = 'Второй' WHERE id = 200");
    assert.equal(await name(writer), 'Второй');
    assert.equal(await name(reader), 'Первый');
    await writer.rollback();
    assert.equal(await name(writer), 'Первый');

    await writer.execute("UPDATE people SET name = 'Третий' WHERE id = 200");
    await writer.commit();
    assert.equal(await name(reader), 'Третий');

    await writer.execute('INSERT INTO people (id, name) VALUES (201, :n)', ['Откат']);
    await writer.rollback();
    assert.equal((await reader.execute('SELECT COUNT(*) FROM people WHERE id = 201')).rows[0][0], 0);
  } finally {
    await reader.close();
    await writer.close();
  }
});

test('a unique-key violation reports ORA-00001 and leaves the session usable', async () => {
  await withConnection(async (conn) => {
    await conn.execute("INSERT INTO people (id, name) VALUES (300, 'Один')");
    await assert.rejects(conn.execute("INSERT INTO people (id, name) VALUES (300, 'Два')"), (e) => {
      assert.match(e.message, /^ORA-00001: unique constraint \(SCOTT\.\w+\) violated$/);
      assert.equal(e.errorNum, 1);
      return true;
    });
    await conn.commit();
    const r = await conn.execute('SELECT name FROM people WHERE id = 300');
    assert.deepEqual(r.rows, [['Один']]);
  });
});

test('a 1 MB LONG RAW is written and read whole', async () => {
  const photo = crypto.randomBytes(1024 * 1024);
  await withConnection(async (conn) => {
    await conn.execute('INSERT INTO people (id, name, photo) VALUES (:id, :name, :photo)',
      { id: 400, name: 'Фото', photo });
    await conn.commit();
    const r = await conn.execute('SELECT photo FROM people WHERE id = :id', [400]);
    assert.equal(r.metaData[0].dbType, oracledb.DB_TYPE_LONG_RAW);
    assert.ok(Buffer.isBuffer(r.rows[0][0]));
    assert.equal(r.rows[0][0].length, photo.length);
    assert.ok(r.rows[0][0].equals(photo));
  });
});

test('what the embedded server does not have fails with an Oracle error', async () => {
  const refused = (promise, pattern) => assert.rejects(promise, (e) => {
    assert.match(e.message, pattern);
    return true;
  });
  const unimplemented = /^ORA-03001: unimplemented feature$/;
  await refused(oracledb.createPool(account), unimplemented);
  await withConnection(async (conn) => {
    await conn.execute('CREATE TABLE notes (id NUMBER(9), body CLOB)');
    await conn.execute("INSERT INTO notes VALUES (1, 'текст')");
    await refused(conn.execute('SELECT body FROM notes'), unimplemented);
    await refused(conn.createLob(oracledb.CLOB), unimplemented);
    await refused(conn.executeMany('INSERT INTO notes (id) VALUES (:1)', [[2], [3]], { batchErrors: true }), unimplemented);
    await refused(conn.executeMany('INSERT INTO notes (id) VALUES (:1)', [[2], [3]], { dmlRowCounts: true }), unimplemented);
    await refused((async () => (await conn.getQueue('NOTICES')).enqOne('x'))(), unimplemented);
    await refused(conn.tpcBegin(new (class { constructor() { this.formatId = 1; this.globalTransactionId = 'g'; this.branchQualifier = 'b'; } })()), unimplemented);
    await refused(conn.getDbObjectClass('SCOTT.ADDRESS'), /^ORA-04043: object SCOTT\.ADDRESS does not exist$/);
    await refused(conn.shutdown(), /^ORA-01031: insufficient privileges$/);
    // A CLOB still reads as text, and the session goes on.
    const r = await conn.execute('SELECT body FROM notes', [], { fetchInfo: { BODY: { type: oracledb.STRING } } });
    assert.deepEqual(r.rows, [['текст']]);
    await conn.rollback();
  });
});

test('closing rolls back what was not committed and ends every session', async () => {
  const conn = await oracledb.getConnection(account);
  await conn.execute("INSERT INTO people (id, name) VALUES (500, 'Не сохранён')");
  assert.equal(conn.transactionInProgress, true);
  await conn.close();
  await assert.rejects(conn.execute('SELECT 1 FROM dual'), { code: 'NJS-003' });
  await withConnection(async (other) => {
    assert.equal((await other.execute('SELECT COUNT(*) FROM people WHERE id = 500')).rows[0][0], 0);
  });
  const trace = fs.readFileSync(traceFile, 'utf8');
  const begun = trace.split('\n').filter((line) => / OCISessionBegin /.test(line)).length;
  const ended = trace.split('\n').filter((line) => / OCISessionEnd$/.test(line)).length;
  assert.ok(begun > 0);
  assert.equal(ended, begun, 'every session the driver began was ended');
  assert.equal(admin('sessions', 'srv').trim().split('\n').length, 1, 'no session is left in V$SESSION');
});
