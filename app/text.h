#pragma once

#include <string>

#include <QString>

/// Bytes from the wire as a user should read them: UTF-8 when they are valid UTF-8, otherwise
/// Latin-1 (one character per byte), so no received byte is ever lost or replaced.
QString DecodeReceived(const std::string& bytes);
/// Typed text as the bytes to send: UTF-8, which the sign-on announces.
std::string EncodeTyped(const QString& text);
