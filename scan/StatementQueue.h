#pragma once
// A front end that runs the walk's statements itself, many files to a
// transaction, takes each file's statement here instead of the walk running
// it at once. It says each statement's fate when its batch is run.
#include "framework/DynamicString.h"

class IStatementQueue {
public:
    // Takes one file's statement. False once a statement of an earlier batch
    // ended the walk (its error, or a stop that cancelled it). (worker thread)
    virtual bool Enqueue(const CString& statement) = 0;

protected:
    ~IStatementQueue() = default;
};
