#pragma once

#include <QString>
#include <optional>

namespace modFSO
{

// What went wrong in a file operation, as a value: which operation, the system's error number,
// its readable description, and the paths it concerned. The wording that the file operations
// have always used for their failures is made from it in one place, ErrorText().
struct FsError {
    enum class Operation {
        CreateFolder,
        DeleteFile,
        CopyFile,
        MoveFile,
        ListFolder,
        ReadSize,
        ReadVolume,
        FreeSpace,
        ReadRecord,
    };

    // What the error stands for beyond the system's error number: a source that another
    // program still writes, one that has not yet been unchanged for the settle time, or one
    // that changed while it was copied, is no failure of the system but a reason to leave the
    // file for the next run. A source that changed after its copy took its name keeps both.
    enum class Kind {
        System,
        SourceInUse,
        SourceSettling,
        SourceChanged,
        SourceChangedAfterNaming,
    };

    Operation operation = Operation::CopyFile;
    Kind kind = Kind::System;
    int code = 0;
    QString description;
    QString path;
    // The second path of a copy or a move; empty for the others.
    QString destination;

    // The error of a failed system call, described by the system.
    static FsError fromErrno(Operation operation, int code, QString path = {}, QString destination = {});
};

// A failure before it is described: the system's error number, or a reason of the program's
// own (then the number is EBUSY, which is what such a file is to the system).
struct Failure {
    int code = 0;
    FsError::Kind kind = FsError::Kind::System;

    static Failure system(int code) { return {code, FsError::Kind::System}; }
    static Failure own(FsError::Kind kind);
    explicit operator bool() const { return code != 0; }
};

// An answer that may have failed. A failure can still carry a value: a listing that broke off
// holds the names it read before.
template <typename T> struct FsResult {
    T value {};
    std::optional<FsError> error;

    bool ok() const { return !error; }
};

// The readable text of an errno value.
QString describeError(int code);

// The full text of a failure, such as
// "CopyAFile CopyFile Error(2): No such file or directory Source Path: a Destination Path: b".
QString ErrorText(const FsError &error);

} // namespace modFSO
