// The editable dataset: a select whose rows are all kept in memory as records with typed fields,
// and whose inserted, changed and deleted records are written back to the updating table by ROWID.
//
// Conventions as in Oracle.h: properties are getter/setter pairs, events are std::function members
// (a handler may throw; the exception leaves the operation that fired it). Besides the events, the
// dataset emits Qt signals that the data-aware controls follow. The dataset belongs to the thread
// that created it; nothing here shows a window.
#pragma once

#include "Oracle.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

// A dataset error the user may be shown as it stands ("Record has been changed by another user").
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TFieldType { ftInteger, ftFloat, ftString, ftMemo, ftDateTime, ftBlob };

class TOracleDataSet;

// One column of the select list. Values are read from and written to the dataset's current record;
// a field object lives from Open to Close.
class TField {
public:
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TOracleDataSet* DataSet() const { return FDataSet; }
    // Unique within the dataset ("NAME_1" for a second NAME column).
    const QString& FieldName() const { return FFieldName; }
    // The column's own name, used in the generated statements.
    const QString& ColumnName() const { return FColumnName; }
    TFieldType DataType() const { return FDataType; }
    // Characters of a string field; 0 for the other types.
    int Size() const { return FSize; }
    // A NOT NULL column: Post refuses a record without a value.
    bool Required() const { return FRequired; }
    int Index() const { return FIndex; }
    // Position in the select list from 1, not counting the ROWID column (the n of ":vn").
    int ColumnPosition() const { return FColumnPosition; }
    // The bind variable type the change statements declare for this column (otInteger, ...).
    int VariableType() const { return FVariableType; }

    // The current value: the pending value while the record is edited or inserted.
    QVariant Value() const;
    // Converts to the field's type; raises EDatabaseError for a value the type cannot hold. The
    // dataset must be in edit or insert state.
    void SetValue(const QVariant& value);
    // The value as read from the server (NULL for a record being inserted).
    QVariant OldValue() const;
    bool IsNull() const;
    void Clear() { SetValue(QVariant()); }

    QString AsString() const;
    void SetAsString(const QString& value) { SetValue(value); }
    int AsInteger() const;
    void SetAsInteger(int value) { SetValue(value); }
    double AsFloat() const;
    void SetAsFloat(double value) { SetValue(value); }
    QDateTime AsDateTime() const;
    void SetAsDateTime(const QDateTime& value) { SetValue(value); }

    // The value converted to this field's type, as SetValue stores it.
    QVariant Convert(const QVariant& value) const;
    // The text shown for a value of this field.
    QString Text(const QVariant& value) const;

private:
    friend class TOracleDataSet;
    TField() = default;

    TOracleDataSet* FDataSet = nullptr;
    QString FFieldName;
    QString FColumnName;
    TFieldType FDataType = ftString;
    int FSize = 0;
    bool FRequired = false;
    int FIndex = 0;
    int FColumnPosition = 0;
    int FVariableType = otString;
};

// Packed records live in large blocks, not in an allocation each: a record is a pointer to its
// bytes. A replaced record's old bytes stay until the dataset closes or reloads.
class TRecordArena {
public:
    const char* Add(QByteArrayView bytes);

private:
    std::vector<std::unique_ptr<char[]>> FBlocks;
    char* FFree = nullptr;
    size_t FLeft = 0;
};

class TOracleDataSet : public QObject, public TOracleSessionClient {
    Q_OBJECT
public:
    using TDataSetNotifyEvent = std::function<void(TOracleDataSet*)>;

    explicit TOracleDataSet(QObject* owner = nullptr);
    ~TOracleDataSet() override;

    // --- properties ---
    TOracleSession* Session() const;
    // A different session closes the dataset.
    void SetSession(TOracleSession* session);
    // The statement lines; they belong to the main query.
    QStringList& SQL();
    const QStringList& SQL() const;
    // Replaces the statement; closes an open dataset.
    void SetSQLText(const QString& text);
    int ReadBuffer() const { return FReadBuffer; }
    void SetReadBuffer(int rows);
    bool Optimize() const { return FOptimize; }
    void SetOptimize(bool value);
    bool ReadOnly() const { return FReadOnly; }
    // A change emits StateChanged: the controls follow whether they may edit.
    void SetReadOnly(bool value);
    bool CommitOnPost() const { return FCommitOnPost; }
    void SetCommitOnPost(bool value) { FCommitOnPost = value; }
    // Empty: the table named after the first FROM of the statement.
    QString UpdatingTable() const { return FUpdatingTable; }
    void SetUpdatingTable(const QString& table);
    // The table the change statements address (upper case, schema prefix kept).
    QString UpdatingTableName();
    // The table name as found in a select: comments dropped, first FROM outside parentheses.
    static QString TableNameFromSQL(const QString& sql);
    // The message a failed change reports for a server error: ORA-00054 as "Record is locked by
    // another user", errors raised by server code (20000-20999) without their PL/SQL call stack.
    static QString ErrorMessage(const EOracleError& error);

    TVariables& Variables();
    void DeclareVariable(const QString& name, int dataType);
    void SetVariable(const QString& name, const QVariant& value);
    void SetLongVariable(const QString& name, const void* data, int length);
    QVariant GetVariable(const QString& name) const;

    // The inner query that runs the select (and ExecSQL).
    TOracleQuery* MainQuery() const { return FMainQuery; }

    // --- state ---
    TDataSetState State() const { return FState; }
    bool Active() const { return FState != dsInactive; }
    void SetActive(bool value);
    bool Modified() const { return FModified; }
    // Open, not ReadOnly, and the select list holds the ROWID column.
    bool CanModify() const;

    // --- opening ---
    void Open();
    void Close();
    // Runs the select again, reloads every record; the first record becomes current.
    void Refresh();
    // Executes the statement once without opening; the dataset must be closed.
    void ExecSQL();

    // --- fields ---
    int FieldCount() const { return int(FFields.size()); }
    TField* Fields(int index) const { return FFields.at(size_t(index)).get(); }
    TField* FindField(const QString& name) const; // nullptr when missing
    // Raises "Field '<name>' not found".
    TField* FieldByName(const QString& name) const;
    // Whether the select list carries a ROWID column (it gets no field).
    bool HasRowId() const { return FRowIdColumn >= 0; }

    // --- navigation (leaving an edited record posts it, leaving an untouched new one drops it) ---
    void First();
    void Next();
    void Prior();
    void Last();
    void MoveBy(int distance);
    bool Bof() const { return FBof; }
    bool Eof() const { return FEof; }
    bool IsEmpty() const { return FRecords.empty(); }
    // Records in memory, the one being inserted included.
    int RecordCount() const { return int(FRecords.size()); }
    // Current record from 1; 0 when there is none.
    int RecNo() const { return FCurrent + 1; }
    void SetRecNo(int recNo);
    // Current record from 0; -1 when there is none.
    int CurrentIndex() const { return FCurrent; }
    // Makes the record at a 0-based index current.
    void MoveTo(int index);
    // The current record's ROWID text (empty for a record never sent).
    QString RowId() const;

    // A value of any record, for views; the current record's pending value while it is edited.
    QVariant RecordValue(int index, int field) const;

    // --- changes ---
    void Insert();
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    // Lets the controls write pending input into the fields (before Post).
    void UpdateRecord();
    // Posts a modified record, drops an untouched new one; nothing in browse state.
    void CheckBrowseMode();

    // --- events ---
    TDataSetNotifyEvent AfterOpen;
    TDataSetNotifyEvent AfterClose;
    TDataSetNotifyEvent AfterInsert;
    TDataSetNotifyEvent BeforePost;
    TDataSetNotifyEvent AfterPost;
    TDataSetNotifyEvent AfterCancel;
    TDataSetNotifyEvent BeforeDelete;
    TDataSetNotifyEvent AfterDelete;
    TDataSetNotifyEvent AfterScroll;

    void SessionLoggingOff() override;
    void SessionDestroyed() override;

signals:
    void StateChanged();
    // Each operation emits one of the next six signals (a post on leaving a record adds its own).
    // Opened, closed or reloaded: every record may differ; the current one is CurrentIndex().
    void DataSetChanged();
    // A new record at the index, now the current one (Insert, Append).
    void RecordInserted(int index);
    // The record at the index left the list (Delete, a cancelled insert); the current record is
    // the one that followed it, or the last.
    void RecordRemoved(int index);
    // The values of the record at the index were replaced (Post, Cancel).
    void RecordChanged(int index);
    // A value of the current record changed.
    void FieldChanged(TField* field);
    // Another record became current.
    void Scrolled();
    // Controls holding unwritten input write it now (UpdateRecord).
    void UpdatingRecord();

private:
    friend class TField;

    void CheckActive() const;
    void CheckInactive() const;
    void CheckCanModify() const;
    void Fetch();
    void BuildFields();
    void ClearData();
    void SetState(TDataSetState state);
    void Scroll(int index, bool bof, bool eof);
    // Makes the record current, or the first / last one with Bof / Eof set when out of range.
    void ScrollTo(int index);
    void CheckRequiredFields() const;
    TOracleQuery* DMLQuery();
    void RunDML(const QStringList& lines);
    void LockAndCheck(const QString& rowId);
    void CheckRecord(TOracleQuery* query) const;
    void ApplyUpdate();
    void ApplyInsert();
    void ApplyDelete();
    [[noreturn]] void FailApply(bool savepointSet);
    QVariant CurrentFieldValue(int field) const;
    QVariant OldFieldValue(int field) const;
    void SetFieldValue(int field, const QVariant& value);

    TOracleQuery* FMainQuery;
    TOracleQuery* FDMLQuery = nullptr;
    TOracleSession* FRegisteredSession = nullptr;
    int FReadBuffer = 25;
    bool FOptimize = true;
    bool FReadOnly = false;
    bool FCommitOnPost = true;
    QString FUpdatingTable;
    QString FUpdatingTableCache;

    TDataSetState FState = dsInactive;
    std::vector<std::unique_ptr<TField>> FFields;
    // Select-list position of each field's column, and of the ROWID column (-1: none).
    std::vector<int> FColumnOfField;
    int FRowIdColumn = -1;
    // Every record packed (row id, then the values; see OracleData.cpp) into the arena.
    std::vector<const char*> FRecords;
    TRecordArena FArena;
    int FCurrent = -1;
    bool FBof = true;
    bool FEof = true;
    // The current record's values while it is edited or inserted.
    QVariantList FBuffer;
    bool FModified = false;
};
