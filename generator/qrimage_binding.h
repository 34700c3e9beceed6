// The program's tie to the QR image library: loaded from the copy in the
// application folder at the first use, never linked.
#pragma once

#include <QLibrary>
#include <QString>

#include <cstdint>
#include <memory>

class QrImageLibrary {
  public:
    // `filePath`: the full path of the library file to load. Nothing is
    // loaded yet.
    explicit QrImageLibrary(const QString& filePath);
    ~QrImageLibrary();

    // Loads the library and resolves GenerateBMPW. After a success later
    // calls do nothing; after a failure the next call tries again (the file
    // may have been put back). Returns false, with errorString() set, when
    // the library cannot be used. GUI thread.
    bool Bind();

    // Why the last Bind failed.
    const QString& errorString() const { return error_; }

    // The full path that Bind loads.
    const QString& fileName() const { return filePath_; }

    // Calls the library's GenerateBMPW (see qrimage.h) with the arguments
    // unchanged. Only after a successful Bind. GUI thread.
    void GenerateBMPW(const char16_t* fileName, const char16_t* text, int32_t margin,
                      int32_t moduleSize, int32_t level) const;

  private:
    // GenerateBMPW of qrimage.h (checked against it where it is resolved).
    using GenerateBMPWFunction = void (*)(const char16_t* fileName, const char16_t* text,
                                          int32_t margin, int32_t moduleSize, int32_t level);

    const QString filePath_;
    // Made anew for every attempt: a QLibrary that failed once keeps
    // failing for the same path.
    std::unique_ptr<QLibrary> library_;
    GenerateBMPWFunction generateBmpW_ = nullptr;
    QString error_;
};
