// The program's tie to the QR image library: loaded from the copy in the
// application folder at the first use, never linked.
#pragma once

#include <QLibrary>
#include <QString>

#include <cstdint>

class QrImageLibrary {
  public:
    // `filePath`: the full path of the library file to load. Nothing is
    // loaded yet.
    explicit QrImageLibrary(const QString& filePath);

    // Loads the library and resolves GenerateBMPW. After a success later
    // calls do nothing; after a failure the next call tries again (the file
    // may have been put back). Returns false, with errorString() set, when
    // the library cannot be used. GUI thread.
    bool Bind();

    // QLibrary's description of why the last Bind failed.
    QString errorString() const { return library_.errorString(); }

    // The full path that Bind loads.
    QString fileName() const { return library_.fileName(); }

    // Calls the library's GenerateBMPW (see qrimage.h) with the arguments
    // unchanged. Only after a successful Bind. GUI thread.
    void GenerateBMPW(const char16_t* fileName, const char16_t* text, int32_t margin,
                      int32_t moduleSize, int32_t level) const;

  private:
    // GenerateBMPW of qrimage.h (checked against it where it is resolved).
    using GenerateBMPWFunction = void (*)(const char16_t* fileName, const char16_t* text,
                                          int32_t margin, int32_t moduleSize, int32_t level);

    QLibrary library_;
    GenerateBMPWFunction generateBmpW_ = nullptr;
};
