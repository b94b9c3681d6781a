// Failures raised by the table engine and the dataset layer.
//
// The engine's own messages are English and carry no prefix (EDbfError). The dataset layer's
// messages are French and are prefixed with the dataset's name, "Dbfinfos: Champ 'x' non trouvé"
// (DataAccessError). A handler that refuses an operation without a message throws SilentAbort;
// the application's event loop swallows it. All texts are UTF-8.
#pragma once

#include <stdexcept>
#include <string>

class EDbfError : public std::runtime_error
{
public:
    explicit EDbfError(const std::string &message) : std::runtime_error(message) {}
};

class DataAccessError : public std::runtime_error
{
public:
    // datasetName may be empty, in which case the message stands alone.
    DataAccessError(const std::string &datasetName, const std::string &message)
        : std::runtime_error(datasetName.empty() ? message : datasetName + ": " + message)
    {
    }
};

class SilentAbort : public std::exception
{
public:
    const char *what() const noexcept override { return "Operation aborted"; }
};
