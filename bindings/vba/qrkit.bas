Attribute VB_Name = "qrkit"
' qrkit for VBA (Excel, Access, Word) and VB6: QR Code and Micro QR Code symbols as font strings and
' image files, from qrkit.dll.
'
' Import this file into the VBA project (Visual Basic editor: File > Import File) or add it to the VB6
' project. 64-bit Office needs the 64-bit qrkit.dll (x86_64 build); 32-bit Office and VB6 the 32-bit
' one (i686 build, stdcall exports). Put qrkit.dll beside the workbook or database and call QrkitLoad
' with its folder once, or put it in a folder on the PATH.
'
' The helpers take data literally, as the qrkit tool does: the text is sent as UTF-8, with '~' written
' as "~~" and a zero character as "~d000". Pass escapes:=True to write qrkit's input language instead
' (~d065 a decimal byte, ~2[P][T,Y] structured append, ~50[:swiss7] a center overlay, ...).
'
' Failures raise a VBA error: Err.Number is the library's result code (&H80520000 Or n, for example
' &H80520005 "Input is too long"), Err.Source "qrkit" and Err.Description the library's message.
' Arguments outside their range raise error 5 (Invalid procedure call or argument).
'
' The Declare statements cover every export, for callers who use the library directly: handles are
' LongPtr (Long in VB6), end them with DestroyQRCodeEncodeResult. Texts the library returns (messages,
' font strings) are pointers that it keeps; never free them.
Option Explicit

' Result codes and formats.
Public Const QRKIT_OK As Long = 0
Public Const QRKIT_INPUT_TOO_LONG As Long = &H80520005
Public Const QRKIT_INVALID_CHARACTERS As Long = &H80520006
Public Const QRKIT_FILE_ACCESS_DENIED As Long = &H8052000A
Public Const QRKIT_FORMAT_PNG As Long = 0
Public Const QRKIT_FORMAT_SVG As Long = 1
Public Const QRKIT_FORMAT_EMF As Long = 2
Public Const QRKIT_FORMAT_EPS As Long = 3
Public Const QRKIT_FORMAT_BMP As Long = 4
' Bit 15 of the version word: the symbol may not be larger than the version given.
Public Const QRKIT_STRICT_VERSION As Long = &H8000&

Private Const FACILITY As Long = &H80520000
Private Const CP_UTF8 As Long = 65001
Private Const ENCODE_QR As Long = 0
Private Const ENCODE_MICRO As Long = 1
Private Const ENCODE_HIBC As Long = 2
Private Const ENCODE_WIDE As Long = 3

#If Win64 Then
Private Const QRKIT_BUILD As String = "the 64-bit qrkit.dll (x86_64 build)"
#Else
Private Const QRKIT_BUILD As String = "the 32-bit qrkit.dll (i686 build)"
#End If

#If VBA7 Then
' ---- Office 2010 and later (VBA7), 32- and 64-bit: PtrSafe, pointers and handles as LongPtr --------
' Encoding. data: NUL-terminated text in the input language (ByVal String passes the ANSI code page).
Public Declare PtrSafe Function QRCodeEncode Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Public Declare PtrSafe Function QRCodeEncode2 Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long) As LongPtr
Public Declare PtrSafe Function QRCodeEncode2W Lib "qrkit.dll" (ByVal data As LongPtr, ByVal versionWord As Long, ByVal ecLevel As Long) As LongPtr
Public Declare PtrSafe Function MicroQRCodeEncode Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Public Declare PtrSafe Function MicroQRCodeEncode2 Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long) As LongPtr
Public Declare PtrSafe Function HIBC_QRCodeEncode Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Public Declare PtrSafe Function HIBC_QRCodeEncode2 Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long) As LongPtr
Public Declare PtrSafe Function QRCodeGetParity Lib "qrkit.dll" (ByVal data As String) As Long
Public Declare PtrSafe Function QRCodeEncodeOptimal Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Public Declare PtrSafe Function MicroQRCodeEncodeOptimal Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
' Results and messages.
Public Declare PtrSafe Function QRCodeResultGetVersion Lib "qrkit.dll" (ByVal handle As LongPtr) As Long
Public Declare PtrSafe Function DestroyQRCodeEncodeResult Lib "qrkit.dll" (ByVal handle As LongPtr) As Long
Public Declare PtrSafe Function QRCodeGetErrorMessage Lib "qrkit.dll" (ByVal code As Long) As LongPtr
' Font strings.
Public Declare PtrSafe Function QRCodeResultGetBarcodeString Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal buffer As String, ByRef size As Long, ByVal separator As String) As Long
Public Declare PtrSafe Function QRCodeResultGetBarcodeString2 Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal separator As String) As LongPtr
' Painting. Colours are &H00RRGGBB (note: not VBA's RGB(), which is &H00BBGGRR).
Public Declare PtrSafe Function PaintQRCodeImageRaster Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal path As String, ByVal moduleSize As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare PtrSafe Function PaintQRCodeImageVector Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal path As String, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare PtrSafe Function PaintQRCodeImageRaster2 Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal stream As LongPtr, ByVal moduleSize As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare PtrSafe Function PaintQRCodeImageVector2 Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal stream As LongPtr, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare PtrSafe Function PaintQRCodeImageEMF Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal unused As Long) As LongPtr
Public Declare PtrSafe Function PaintQRCodeImageClipboard Lib "qrkit.dll" (ByVal handle As LongPtr, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long) As Long
' The encode exports again, with data as UTF-8 bytes (the first element of a Byte array), for the helpers.
Private Declare PtrSafe Function QrkitEncodeBytes Lib "qrkit.dll" Alias "QRCodeEncode" (ByRef data As Byte, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Private Declare PtrSafe Function QrkitEncodeMicroBytes Lib "qrkit.dll" Alias "MicroQRCodeEncode" (ByRef data As Byte, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Private Declare PtrSafe Function QrkitEncodeHibcBytes Lib "qrkit.dll" Alias "HIBC_QRCodeEncode" (ByRef data As Byte, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As LongPtr) As Long
Private Declare PtrSafe Function QrkitParityBytes Lib "qrkit.dll" Alias "QRCodeGetParity" (ByRef data As Byte) As Long
' Windows.
Private Declare PtrSafe Function WideCharToMultiByte Lib "kernel32" (ByVal codePage As Long, ByVal flags As Long, ByVal wide As LongPtr, ByVal wideLength As Long, ByRef multiByte As Any, ByVal multiByteLength As Long, ByVal defaultChar As LongPtr, ByVal usedDefault As LongPtr) As Long
Private Declare PtrSafe Function lstrlenA Lib "kernel32" (ByVal text As LongPtr) As Long
Private Declare PtrSafe Sub RtlMoveMemory Lib "kernel32" (ByRef target As Any, ByVal source As LongPtr, ByVal length As LongPtr)
Private Declare PtrSafe Function LoadLibraryW Lib "kernel32" (ByVal path As LongPtr) As LongPtr
#Else
' ---- VB6 and Office 97-2007 (32-bit only): qrkit.dll of the i686 build, stdcall ------------------
' Encoding. data: NUL-terminated text in the input language (ByVal String passes the ANSI code page).
Public Declare Function QRCodeEncode Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Public Declare Function QRCodeEncode2 Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long) As Long
Public Declare Function QRCodeEncode2W Lib "qrkit.dll" (ByVal data As Long, ByVal versionWord As Long, ByVal ecLevel As Long) As Long
Public Declare Function MicroQRCodeEncode Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Public Declare Function MicroQRCodeEncode2 Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long) As Long
Public Declare Function HIBC_QRCodeEncode Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Public Declare Function HIBC_QRCodeEncode2 Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long) As Long
Public Declare Function QRCodeGetParity Lib "qrkit.dll" (ByVal data As String) As Long
Public Declare Function QRCodeEncodeOptimal Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Public Declare Function MicroQRCodeEncodeOptimal Lib "qrkit.dll" (ByVal data As String, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
' Results and messages.
Public Declare Function QRCodeResultGetVersion Lib "qrkit.dll" (ByVal handle As Long) As Long
Public Declare Function DestroyQRCodeEncodeResult Lib "qrkit.dll" (ByVal handle As Long) As Long
Public Declare Function QRCodeGetErrorMessage Lib "qrkit.dll" (ByVal code As Long) As Long
' Font strings.
Public Declare Function QRCodeResultGetBarcodeString Lib "qrkit.dll" (ByVal handle As Long, ByVal buffer As String, ByRef size As Long, ByVal separator As String) As Long
Public Declare Function QRCodeResultGetBarcodeString2 Lib "qrkit.dll" (ByVal handle As Long, ByVal separator As String) As Long
' Painting. Colours are &H00RRGGBB (note: not VB's RGB(), which is &H00BBGGRR).
Public Declare Function PaintQRCodeImageRaster Lib "qrkit.dll" (ByVal handle As Long, ByVal path As String, ByVal moduleSize As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare Function PaintQRCodeImageVector Lib "qrkit.dll" (ByVal handle As Long, ByVal path As String, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare Function PaintQRCodeImageRaster2 Lib "qrkit.dll" (ByVal handle As Long, ByVal stream As Long, ByVal moduleSize As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare Function PaintQRCodeImageVector2 Lib "qrkit.dll" (ByVal handle As Long, ByVal stream As Long, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal imageFormat As Long) As Long
Public Declare Function PaintQRCodeImageEMF Lib "qrkit.dll" (ByVal handle As Long, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long, ByVal unused As Long) As Long
Public Declare Function PaintQRCodeImageClipboard Lib "qrkit.dll" (ByVal handle As Long, ByVal moduleSize As Long, ByVal resolution As Long, ByVal foreColour As Long, ByVal backColour As Long) As Long
' The encode exports again, with data as UTF-8 bytes (the first element of a Byte array), for the helpers.
Private Declare Function QrkitEncodeBytes Lib "qrkit.dll" Alias "QRCodeEncode" (ByRef data As Byte, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Private Declare Function QrkitEncodeMicroBytes Lib "qrkit.dll" Alias "MicroQRCodeEncode" (ByRef data As Byte, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Private Declare Function QrkitEncodeHibcBytes Lib "qrkit.dll" Alias "HIBC_QRCodeEncode" (ByRef data As Byte, ByVal versionWord As Long, ByVal ecLevel As Long, ByRef handle As Long) As Long
Private Declare Function QrkitParityBytes Lib "qrkit.dll" Alias "QRCodeGetParity" (ByRef data As Byte) As Long
' Windows.
Private Declare Function WideCharToMultiByte Lib "kernel32" (ByVal codePage As Long, ByVal flags As Long, ByVal wide As Long, ByVal wideLength As Long, ByRef multiByte As Any, ByVal multiByteLength As Long, ByVal defaultChar As Long, ByVal usedDefault As Long) As Long
Private Declare Function lstrlenA Lib "kernel32" (ByVal text As Long) As Long
Private Declare Sub RtlMoveMemory Lib "kernel32" (ByRef target As Any, ByVal source As Long, ByVal length As Long)
Private Declare Function LoadLibraryW Lib "kernel32" (ByVal path As Long) As Long
#End If

' ---- Helpers ---------------------------------------------------------------------------------------

' Loads qrkit.dll from folder (for example ThisWorkbook.Path or CurrentProject.Path), so that the
' Declare statements find it there. Raises error 53 when it cannot be loaded.
Public Sub QrkitLoad(ByVal folder As String)
    Dim path As String
    path = folder
    If Len(path) > 0 And Right$(path, 1) <> "\" Then path = path & "\"
    path = path & "qrkit.dll"
    If LoadLibraryW(StrPtr(path)) = 0 Then
        Err.Raise 53, "qrkit", "Cannot load " & path & " (error " & Err.LastDllError & "); this host needs " & QRKIT_BUILD & "."
    End If
End Sub

' The font string of data as QR Code: lines of hex digits for a QR barcode font, joined by separator.
' level "L", "M", "Q" or "H"; version the smallest allowed (1-40, 0 for the smallest that fits);
' strict: fail unless the data fit that version.
Public Function QrkitFontString(ByVal data As String, Optional ByVal level As String = "M", Optional ByVal version As Long = 0, Optional ByVal separator As String = vbCrLf, Optional ByVal escapes As Boolean = False, Optional ByVal strict As Boolean = False) As String
    QrkitFontString = FontStringOf(ENCODE_QR, data, level, VersionWord(version, strict), separator, escapes)
End Function

' The font string of data as Micro QR Code (version 1-4 for M1-M4, 0 for the smallest that fits).
Public Function QrkitMicroFontString(ByVal data As String, Optional ByVal level As String = "M", Optional ByVal version As Long = 0, Optional ByVal separator As String = vbCrLf, Optional ByVal escapes As Boolean = False) As String
    If version < 0 Or version > 4 Then Err.Raise 5, "qrkit", "The Micro QR Code version is 0-4."
    QrkitMicroFontString = FontStringOf(ENCODE_MICRO, data, level, version, separator, escapes)
End Function

' The font string of HIBC data: '+', the data upper-cased and its modulo-43 check character.
Public Function QrkitHibcFontString(ByVal data As String, Optional ByVal level As String = "M", Optional ByVal version As Long = 0, Optional ByVal separator As String = vbCrLf) As String
    QrkitHibcFontString = FontStringOf(ENCODE_HIBC, data, level, VersionWord(version, False), separator, False)
End Function

' The font string of text sent through the UTF-16 export: ISO 8859-1 when every character is U+0001 to
' U+00FF, else EF BB BF followed by UTF-8.
Public Function QrkitWideFontString(ByVal data As String, Optional ByVal level As String = "M", Optional ByVal version As Long = 0, Optional ByVal separator As String = vbCrLf, Optional ByVal escapes As Boolean = False) As String
    QrkitWideFontString = FontStringOf(ENCODE_WIDE, data, level, VersionWord(version, False), separator, escapes)
End Function

' Writes data as an image file, the format from the extension: .png, .bmp (moduleSize pixels, default
' 4), .svg, .eps, .emf (moduleSize hundredths of a millimetre, default 25, at resolution dpi). Colours
' &H00RRGGBB. micro:=True makes a Micro QR Code symbol. No quiet zone is added.
Public Sub QrkitSaveImage(ByVal data As String, ByVal path As String, Optional ByVal moduleSize As Long = 0, Optional ByVal level As String = "M", Optional ByVal version As Long = 0, Optional ByVal resolution As Long = 300, Optional ByVal foreColour As Long = &H0&, Optional ByVal backColour As Long = &HFFFFFF, Optional ByVal escapes As Boolean = False, Optional ByVal micro As Boolean = False)
    Dim imageFormat As Long
    Dim raster As Boolean
    Dim status As Long
    Select Case LCase$(Mid$(path, InStrRev(path, ".") + 1))
    Case "png": imageFormat = QRKIT_FORMAT_PNG: raster = True
    Case "bmp": imageFormat = QRKIT_FORMAT_BMP: raster = True
    Case "svg": imageFormat = QRKIT_FORMAT_SVG
    Case "eps": imageFormat = QRKIT_FORMAT_EPS
    Case "emf": imageFormat = QRKIT_FORMAT_EMF
    Case Else: Err.Raise 5, "qrkit", "Cannot tell the image format of " & path & ": use .png, .bmp, .svg, .eps or .emf."
    End Select
    If moduleSize = 0 Then moduleSize = IIf(raster, 4, 25)
    If moduleSize < 1 Or resolution < 1 Then Err.Raise 5, "qrkit", "The module size and resolution are at least 1."
    If foreColour < 0 Or foreColour > &HFFFFFF Or backColour < 0 Or backColour > &HFFFFFF Then Err.Raise 5, "qrkit", "A colour is &H00RRGGBB."
#If VBA7 Then
    Dim handle As LongPtr
#Else
    Dim handle As Long
#End If
    If micro Then
        If version < 0 Or version > 4 Then Err.Raise 5, "qrkit", "The Micro QR Code version is 0-4."
        handle = EncodeHandle(ENCODE_MICRO, data, level, version, escapes)
    Else
        handle = EncodeHandle(ENCODE_QR, data, level, VersionWord(version, False), escapes)
    End If
    If raster Then
        status = PaintQRCodeImageRaster(handle, path, moduleSize, foreColour, backColour, imageFormat)
    Else
        status = PaintQRCodeImageVector(handle, path, moduleSize, resolution, foreColour, backColour, imageFormat)
    End If
    DestroyQRCodeEncodeResult handle
    If status <> 0 Then RaiseFailure FACILITY Or status
End Sub

' The structured-append parity (0-255) of a whole message.
Public Function QrkitParity(ByVal data As String, Optional ByVal escapes As Boolean = False) As Long
    Dim bytes() As Byte
    bytes = InputBytes(data, escapes)
    QrkitParity = QrkitParityBytes(bytes(0))
End Function

' The library's message for a result code.
Public Function QrkitErrorMessage(ByVal code As Long) As String
    QrkitErrorMessage = TextAt(QRCodeGetErrorMessage(code))
End Function

' ---- Inside the helpers ----------------------------------------------------------------------------

Private Function VersionWord(ByVal version As Long, ByVal strict As Boolean) As Long
    If version < 0 Or version > 40 Then Err.Raise 5, "qrkit", "The QR Code version is 0-40."
    VersionWord = version
    If strict Then VersionWord = VersionWord Or QRKIT_STRICT_VERSION
End Function

Private Function LevelNumber(ByVal level As String) As Long
    LevelNumber = InStr(1, "LMQH", UCase$(level), vbBinaryCompare) - 1
    If Len(level) <> 1 Or LevelNumber < 0 Then Err.Raise 5, "qrkit", "The level is ""L"", ""M"", ""Q"" or ""H""."
End Function

Private Sub RaiseFailure(ByVal code As Long)
    Err.Raise code, "qrkit", QrkitErrorMessage(code)
End Sub

' The NUL-terminated UTF-8 bytes of data in the input language: literal data get '~' as "~~"; a zero
' character always becomes "~d000".
Private Function InputBytes(ByVal data As String, ByVal escapes As Boolean) As Byte()
    Dim text As String
    Dim size As Long
    Dim bytes() As Byte
    text = data
    If Not escapes Then text = Replace(text, "~", "~~")
    text = Replace(text, vbNullChar, "~d000")
    If Len(text) = 0 Then
        ReDim bytes(0)
    Else
        size = WideCharToMultiByte(CP_UTF8, 0, StrPtr(text), Len(text), ByVal 0&, 0, 0, 0)
        ReDim bytes(size)
        WideCharToMultiByte CP_UTF8, 0, StrPtr(text), Len(text), bytes(0), size, 0, 0
    End If
    bytes(UBound(bytes)) = 0
    InputBytes = bytes
End Function

' The bytes the library makes of UTF-16 text: one a character when every character is 1-255, else
' EF BB BF followed by UTF-8. NUL-terminated.
Private Function NarrowBytes(ByVal text As String) As Byte()
    Dim bytes() As Byte
    Dim utf8() As Byte
    Dim i As Long
    Dim narrow As Boolean
    narrow = True
    For i = 1 To Len(text)
        If (AscW(Mid$(text, i, 1)) And &HFFFF&) > 255 Then narrow = False
    Next i
    If narrow Then
        ReDim bytes(Len(text))
        For i = 1 To Len(text)
            bytes(i - 1) = AscW(Mid$(text, i, 1)) And &HFF&
        Next i
        bytes(Len(text)) = 0
    Else
        utf8 = InputBytes(text, True)
        ReDim bytes(UBound(utf8) + 3)
        bytes(0) = &HEF: bytes(1) = &HBB: bytes(2) = &HBF
        For i = 0 To UBound(utf8)
            bytes(i + 3) = utf8(i)
        Next i
    End If
    NarrowBytes = bytes
End Function

#If VBA7 Then
Private Function EncodeHandle(ByVal kind As Long, ByVal data As String, ByVal level As String, ByVal versionWord As Long, ByVal escapes As Boolean) As LongPtr
    Dim handle As LongPtr
#Else
Private Function EncodeHandle(ByVal kind As Long, ByVal data As String, ByVal level As String, ByVal versionWord As Long, ByVal escapes As Boolean) As Long
    Dim handle As Long
#End If
    Dim bytes() As Byte
    Dim text As String
    Dim code As Long
    Dim ecLevel As Long
    ecLevel = LevelNumber(level)
    Select Case kind
    Case ENCODE_QR
        bytes = InputBytes(data, escapes)
        code = QrkitEncodeBytes(bytes(0), versionWord, ecLevel, handle)
    Case ENCODE_MICRO
        bytes = InputBytes(data, escapes)
        code = QrkitEncodeMicroBytes(bytes(0), versionWord, ecLevel, handle)
    Case ENCODE_HIBC
        ' A zero character is outside the HIBC set, which the library rejects with this code.
        If InStr(data, vbNullChar) > 0 Then RaiseFailure QRKIT_INPUT_TOO_LONG
        bytes = InputBytes(data, True)
        code = QrkitEncodeHibcBytes(bytes(0), versionWord, ecLevel, handle)
    Case ENCODE_WIDE
        text = data
        If Not escapes Then text = Replace(text, "~", "~~")
        text = Replace(text, vbNullChar, "~d000") & vbNullChar
        handle = QRCodeEncode2W(StrPtr(text), versionWord, ecLevel)
        If handle = 0 Then
            ' The wide export gives no code: the narrow one, on the same bytes, tells which.
            bytes = NarrowBytes(Left$(text, Len(text) - 1))
            code = QrkitEncodeBytes(bytes(0), versionWord, ecLevel, handle)
            If handle <> 0 Then DestroyQRCodeEncodeResult handle
            If code = 0 Then code = FACILITY Or 11
            RaiseFailure code
        End If
    End Select
    If code <> 0 Then RaiseFailure code
    EncodeHandle = handle
End Function

Private Function FontStringOf(ByVal kind As Long, ByVal data As String, ByVal level As String, ByVal versionWord As Long, ByVal separator As String, ByVal escapes As Boolean) As String
#If VBA7 Then
    Dim handle As LongPtr
#Else
    Dim handle As Long
#End If
    Dim size As Long
    Dim status As Long
    Dim buffer As String
    If InStr(separator, vbNullChar) > 0 Then Err.Raise 5, "qrkit", "The separator contains a zero character."
    handle = EncodeHandle(kind, data, level, versionWord, escapes)
    status = QRCodeResultGetBarcodeString(handle, vbNullString, size, separator)
    If status = 0 Then
        buffer = String$(size, vbNullChar)
        status = QRCodeResultGetBarcodeString(handle, buffer, size, separator)
    End If
    DestroyQRCodeEncodeResult handle
    If status <> 0 Then RaiseFailure FACILITY Or status
    FontStringOf = Left$(buffer, size)
End Function

' The NUL-terminated 8-bit text at a pointer the library returned.
#If VBA7 Then
Private Function TextAt(ByVal text As LongPtr) As String
#Else
Private Function TextAt(ByVal text As Long) As String
#End If
    Dim bytes() As Byte
    Dim size As Long
    If text = 0 Then Exit Function
    size = lstrlenA(text)
    If size = 0 Then Exit Function
    ReDim bytes(size - 1)
    RtlMoveMemory bytes(0), text, size
    TextAt = StrConv(bytes, vbUnicode)
End Function
