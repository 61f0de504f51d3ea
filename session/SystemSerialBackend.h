#pragma once
// The real port, over QSerialPort: port n opens what ports::Resolve says
// for `dataFolder`; with a `fixedPath`, every port number opens that device.
#include "session/SerialBackend.h"

#include <memory>

std::unique_ptr<CSerialBackend> CreateSystemSerialBackend(const QString& dataFolder,
                                                          const QString& fixedPath = {});
