#pragma once

// The form layer's one error class. Every failure of the layer (a file that
// cannot be opened, a picture that is not a valid bitmap, ...) is thrown as an
// Exception carrying the text the user sees. The application object catches
// whatever escapes an event handler and shows that text (see application.h).

#include <QByteArray>
#include <QString>

#include <exception>

class Exception : public std::exception {
  public:
    explicit Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

  private:
    QString message_;
    QByteArray utf8_;
};
