// The property catalogue of the applications on the servers, without a window: the application
// list, the catalogue statement of one application, the number of a new row, and the repetition of
// the grid's posts and deletes on the reserve server while mirroring. User-interface thread only.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class TOracleDataSet;

class TPropCatalogue {
public:
    struct TProgram {
        int Id;
        QString Name;
    };
    // The registered applications in ID_PROGRAMMEXE order; none when the query does not open, the
    // ones read so far when a fetch fails.
    static QList<TProgram> Programs();

    // The editing dataset's statement: the application's rows with their ROWID, in ID_PROP order.
    static QStringList CatalogueStatement(int programId);

    // The number of a new row: above every ID_PROP of the table, whatever the application. -1 when
    // it cannot be read.
    static int NextPropNumber();

    // A catalogue row as the editing dataset holds it.
    struct TPropRow {
        QVariant IdProp, IdProgramm, FormName, PropName, PropType, PropAlias;
    };
    static TPropRow CurrentRow(const TOracleDataSet& catalogue);

    // Repeats a posted row on the reserve server by ID_PROP (update, or insert when it has none).
    static bool MirrorPost(const TPropRow& row);
    // Deletes the row on the reserve server with the text "DELETE FROM KMR_PROP_FOR_PROG WHERE
    // ID_PROP =" and the number. Both are committed there; a failure is rolled back and ignored.
    static bool MirrorDelete(int idProp);
};
