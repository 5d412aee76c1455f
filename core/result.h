// Result codes of the whole engine.
//
// Every engine function that can fail returns an int: 0 on success, 1 when
// memory ran out, otherwise one of the codes below. Modules own ranges of
// codes; add a module's codes here, under its heading, with their fixed
// values, so that code compares against names and never bare numbers.
#pragma once

enum ResultCode : int {
    // Shared by every module.
    Res_ok = 0,
    Res_noMemory = 1,
    Res_nullInput = 8,
    Res_notFound = 13,
    Res_tableFull = 14,         // an index above a table's limit, or a table that is full
    Res_slotInUse = 15,
    Res_missingArgument = 16,
    Res_unexpectedKind = 17,    // a record or item of a kind the operation does not take
    Res_notJoinable = 34,
    Res_stopRequested = 48,
    Res_poolStopping = 52,
    Res_eventProcStopping = 53,
    Res_notImplemented = 259,

    // Keyed map.
    Res_mapNotFound = 19,       // no entry with that key

    // Request and error handler list.
    Res_handlersNullList = 25600,     // no list given
    Res_handlersInsertFailed = 25601, // the list refused the entry (a missing reference included)
    Res_handlersNoList = 25602,       // the list could not be made
    // Character sets (0x400-0x403): converter statuses, also returned by
    // the whole-string conversions (0x400).
    Res_charsetUnknown = 0x400,     // unknown charset code or failed conversion
    Res_charsetIncomplete = 0x401,  // input ends inside a character
    Res_charsetDestFull = 0x402,    // destination full
    Res_charsetNoTable = 0x403,     // the table for this charset is not installed

    // Containers: stop lists.
    Res_stopCountInvalid = 5123, // a stop list holds 2 to 20 stops
    Res_stopIndexInvalid = 5124, // a stop index not below the list's count
    // URLs, file URLs and the file driver.
    Res_urlIncomplete = 10,         // a URL lacks a part it needs (a file URL without host)
    Res_vfsNotAvailable = 769,      // operation not available (slot missing, mode, buffer state)
    Res_vfsInfoUnknown = 771,       // info or query code not answered
    Res_vfsInfoNotSettable = 772,   // info code cannot be set
    Res_vfsRequestTooLarge = 773,   // a buffer request above 4096 bytes
    Res_vfsBufferLent = 776,        // a buffer is still lent
    Res_vfsNothingLent = 777,       // a done call without a lent buffer
    Res_ramUrlText = 859,           // not a "RAM:" memory-file text
    Res_fileCannotOpen = 780,       // cannot open the file or make a directory
    Res_fileRead = 782,             // read failure
    Res_fileWrite = 783,            // write failure
    Res_fileSize = 786,             // size failure
    Res_fileSeek = 788,             // bad seek
    Res_fileRemove = 790,           // remove failure
    Res_fileRename = 791,           // rename failure
    Res_fileCopy = 792,             // copy failure
    Res_romFsBadEntry = 794,        // a built-in listing met a path ending in "/"
    Res_fileBadPattern = 799,       // a listing path without "/"
    Res_fileBadHost = 801,          // a file URL host that maps to no directory
    Res_urlBadPort = 1280,          // a host's port is not a number from 1 to 65535

    // Virtual streams and stream helpers.
    Res_vfsNoType = 768,            // no stream type for the URL's scheme
    Res_vfsNotOpenedFor = 778,      // the stream was not opened for this kind of access
    Res_vfsRetryUnhandled = 839,    // the type asks to be chosen again without the handler object
    Res_vfsShortRead = 3605,        // fewer bytes came than were asked for
    Res_vfsNotReadable = 3606,      // opened for reading, but the stream is not readable
    Res_vfsSeekMissed = 3607,       // a seek landed elsewhere than the target
    Res_vfsDrainFirst = 28162,      // 0x6E02: the stream must be drained first

    // MIME archives (780 archive not usable or part empty, 839 no part for
    // the URL: the codes the stream layer already knows).
    Res_mimeNoDecoder = 838,        // no decoder for the part's transfer encoding
    Res_mimeNoDocPart = 840,        // no document part, or no URL for it
    Res_mimeBadWord = 15360,        // an encoded word that does not decode
    Res_mimeNoBoundary = 15361,     // a multipart part without a "boundary" parameter
    Res_mimeNoBody = 15362,         // the input ended in a body with nothing consumed

    // Compound files (office storage).
    Res_oleBadChain = 3584,    // a broken sector chain
    Res_oleNoEntry = 3585,     // no directory entry with that id
    Res_oleNoSuchEntry = 3586, // no such directory entry (by parent and name; the writer by id)
    Res_oleLastChild = 3587,   // the entry is the last child of its storage
    Res_oleNameTooLong = 3588, // a directory entry's name length is above 64 bytes
    Res_oleForwardNoTable = 3598, // a forward-only stream needs a sector before the table exists
    Res_oleStreamEnd = 3599,   // end of stream: nothing or fewer bytes than asked were left
    Res_oleNotOpen = 3600,     // closing a stream that is not open
    Res_oleSeekBeyond = 3601,  // a stream seek beyond the end
    Res_oleChainEnds = 3602,   // a stream's sector chain runs into a special id
    Res_oleExactShort = 3603,  // an exact read or a scanned item came short
    Res_oleNoMatch = 3604,     // a scan met no matching item within its limit
    Res_oleWriterAccess = 3606, // the writer's output cannot be written at random
    Res_oleNotAfterHeader = 3608, // the stream does not stand after the header
    Res_oleMiniChainEnds = 3609, // the mini stream ends before the mini sector
    Res_oleSectorBehind = 3610, // forward-only stream: the sector lies behind the position
    Res_oleSectorBeyond = 3611, // a special id, or an id beyond the file or the table
    Res_oleNoMiniFat = 3612,   // a mini sector is needed but the file has no mini FAT
    Res_oleFatUnknown = 3613,  // a release beyond the table, or a FAT entry still unknown
    Res_oleEndsInSector = 3614, // the file ends inside a sector
    Res_oleSectorConsumed = 3615, // a FAT, mini-FAT or split mini-stream sector asked for as data
    Res_oleWrongBuffer = 3616, // the buffer given back is not the one lent
    Res_oleNoDifat = 3617,     // more than 109 FAT sectors but no DIFAT sector counted
    Res_oleDifatLength = 3618, // the DIFAT chain is longer or shorter than counted
    // In-memory record reader.
    Res_memReaderBeyond = 14848, // 0x3A00: a seek or read beyond the block's size
    // Worker pool.
    Res_jobStackTooLarge = 54,  // no worker has the stack a job asks for
    // Timer queue.
    Res_timerThreadRunning = 6912, // the timer thread is already running
    // Dates and times.
    Res_badHttpDate = 16128,    // 0x3F00: the text is not an HTTP date of the three forms
    // Document model (1536-1558).
    Res_deadNode = 1537,          // dead anchor or dead node (reference count 0)
    Res_notGroup = 1540,          // the anchor or node is not a group
    Res_notText = 1541,           // the node is not a text node
    Res_notGridRecord = 1542,     // the node is not a grid record node
    Res_noParent = 1543,          // no parent, or the root given to remove
    Res_wouldNest = 1544,         // a node would become its own descendant
    Res_docClosing = 1545,        // the document is closing
    Res_nullGroup = 1546,         // a null group
    Res_badPathScale = 1548,      // a path's scale is not 0x10000
    Res_refCountFull = 1549,      // a node's 16-bit reference count is full
    Res_depthReached = 1550,      // sub-document nesting depth 7 reached
    Res_nodeDeleted = 1551,       // the node was deleted
    Res_noSaveCallback = 1552,    // the save callback is not installed
    Res_noNodeTest = 1553,        // the node test is not installed
    Res_noAncestorTest = 1554,    // the ancestor test is not installed
    // Node lists, focus order, document events and query cursors.
    Res_noDocument = 1536,        // a query cursor without a document
    Res_noFocusTarget = 1546,     // the focus order holds no place to move to
    // Form controls of the web layer.
    Res_formNoWidget = 6656,      // a null control or widget
    Res_formNotInitialised = 6657, // attaching a widget that is not initialised
    Res_formNotAttached = 6658,   // sending a query to a widget that is not attached
    Res_formCreateFailed = 6659,  // a widget's creation failed
    // Counted lists of the widget toolkit.
    Res_listEnd = 14080,          // the end of a walk, an index beyond the end, a value not found
    Res_listEmpty = 14081,        // the list is empty
    // Shared-exclusive gates.
    Res_gateNotHeld = 14083,      // leaving what is not held
    Res_gateHeld = 14084,         // finishing a gate that is held
    Res_gateFull = 14085,         // too many shared holders
    // Response-cache sinks.
    Res_sinkCut = 835,            // data was dropped at the sink's limit
    // Style sets, readers and the inline walk.
    Res_styleNotGroup = 5122,     // a style computed for a node that is not a group
    Res_stackExhausted = 5125,    // a recursion guard found too little stack left
    // Locks and semaphores.
    Res_readersPresent = 1556,  // a write lock that may not wait found readers inside
    // Document-type registry.
    Res_docTypeNoMime = 20480,        // content not certain and the stream has no MIME type
    Res_docTypeUnknown = 20481,       // nothing rated the content, MIME type or file name
    Res_docTypeNoData = 20482,        // no enabled sniffer answered, or the stream is empty
    Res_docTypeNeedsContent = 20483,  // only type or name matched a handler that needs recognised content
    // Compound-file probe (3590-3597).
    Res_oleMiniShift = 3590,          // mini-sector shift not below the sector shift
    Res_oleNotAtStart = 3591,         // the stream is not at its start
    Res_oleNotCompound = 3592,        // not a compound file (signature)
    Res_oleBadVersion = 3593,         // unsupported version
    Res_oleShortRead = 3594,          // short read at an offset
    Res_oleShortHeader = 3595,        // the stream is shorter than the 512-byte header
    Res_oleZeroShift = 3596,          // sector shift outside 7-16, or a zero mini-sector shift
    Res_oleBadByteOrder = 3597,       // bad byte-order mark
    // Document translation and deferred loads.
    Res_fileTooLarge = 844,           // the file is above "translateFileSize"
    Res_subdocLoop = 1557,            // the URL is already open in the document or an ancestor
    // Display manager (4353-4356) and item-list drawing.
    Res_dispmanBadMode = 4353,        // a producer's mode other than 0 and 1
    Res_dispmanNoTile = 4354,         // the page band memory cannot hold a tile of the view's format
    Res_dispmanNoPage = 4355,         // the view shows no page link there
    Res_dispmanNoNode = 4356,         // no node at the point
    // Screens.
    Res_screenBadFormat = 29,         // a host pixel format outside 0x10003-0x10007
    Res_screenSkipped = 30,           // a creation step that had nothing to do (counts as success)
    Res_bandNoRow = 23552,            // 0x5C00: the band buffer cannot hold one row
    // Vector paths, pixel buffers and row operations (256-275).
    Res_pathNoCurrentPoint = 256,     // an element other than a move appended without a current point
    Res_strokeBadJoin = 257,          // a pen whose join bits hold 3
    Res_pixelNoRowOp = 265,           // no row operation for this pair or triple of formats
    Res_pathEmptyArea = 266,          // a shape whose clipped pixel box is empty
    Res_glyphOtherScale = 267,        // a glyph mask made for a bitmap of another scale
    Res_scaleFormatPair = 269,        // nearest-neighbour scaling between these pixel formats
    Res_glyphNoHitTest = 268,         // a glyph mask that cannot be hit-tested
    Res_pixelUnsupported = 271,       // no conversion between these formats (or a format above 7)
    Res_pixelOverBudget = 272,        // a buffer would exceed the caller's byte budget
    Res_pixelTooFewTiles = 274,       // fewer than two tiles fit the byte budget
    // Image store and codec interface (0x1C00-0x1C15).
    Res_imageCodecsFull = 0x1C00,     // all 15 codec slots are taken
    Res_imageNoCodec = 0x1C01,        // 7169: no codec recognised the data
    Res_imageSizeChanged = 0x1C04,    // a second header with another size: decode again
    Res_imageZeroSize = 0x1C05,       // a header with a width or height of 0
    Res_imageNoPicture = 0x1C06,      // 7174: a still image decoded without a picture
    Res_imageRowShift = 0x1C0E,       // whole-picture buffers asked while the store reduces rows
    Res_imageEmpty = 0x1C15,          // 7189: the data is empty
    Res_imageNoFreeFrame = 0x1C07,    // 7175: no frame of the pool is free yet
    Res_imageGoRound = 0x1C08,        // 7176: the animation loop goes round again at once
    Res_imageNoImage = 0x1C10,        // 7184: the handle has no image
    Res_imageNotDecoded = 0x1C11,     // 7185: not decoded, and the caller did not allow decoding
    Res_imageFrameDone = 0x1C14,      // 7188: a frame is done, the animation goes on
    // BMP decoder (0x1E00-0x1E07).
    Res_bmpDeltaEscape = 0x1E00,      // an RLE position delta (0, 2), which is not supported
    Res_bmpBadSignature = 0x1E01,     // no "BM", or a pair other than end-of-bitmap after the last RLE row
    Res_bmpNoConverter = 0x1E02,      // no row converter for the format, or pixel data inside the headers
    Res_bmpBadCompression = 0x1E04,   // a compression other than 0-3 and 6, or one that does not fit the depth
    Res_bmpBadHeader = 0x1E05,        // a header size other than 12 or 40 to 65536, or a bad width or height
    Res_bmpBadDepth = 0x1E06,         // bits per pixel other than 1, 4, 8, 16, 24 or 32
    Res_bmpShortData = 0x1E07,        // the data ended early, or an RLE row of the wrong length
    // WBMP decoder (0x1F00-0x1F02).
    Res_wbmpBadHeader = 0x1F00,       // not a type-0 header, or a size above 1024
    Res_wbmpShortData = 0x1F01,       // the pixel data ended early
    Res_wbmpNoConverter = 0x1F02,     // no row converter for the format
    // GIF decoder (0x2201-0x2207).
    Res_gifNoConverter = 0x2201,      // no palette converter or row writer for the wanted format
    Res_gifBadCodeSize = 0x2202,      // an LZW minimum code size of 0 or above 9
    Res_gifNoColourTable = 0x2203,    // a frame without a local colour table and no global one
    Res_gifBadSignature = 0x2204,     // not GIF87a or GIF89a
    Res_gifBadIntroducer = 0x2206,    // an unknown block introducer while reading the header
    Res_gifZeroSize = 0x2207,         // a frame width or height of 0
    // CCITT fax decoder (0x2100, 0x2103).
    Res_faxNoRows = 0x2100,           // a row count of 0
    Res_faxBadData = 0x2103,          // corrupt coding, or a damaged row that cannot be repaired
    // JPEG decoder (0x2301-0x2302).
    Res_jpegNoConverter = 0x2301,     // the wanted picture format is not a 5-6-5 format
    Res_jpegLibrary = 0x2302,         // the decoding library failed, other than for memory
    // PNG decoder (0x2701-0x2705).
    Res_pngNotPng = 0x2701,           // fewer than 8 bytes, or not the PNG signature
    Res_pngCreate = 0x2702,           // the library's read structure could not be made
    Res_pngLibrary = 0x2703,          // the library failed without an engine error code
    Res_pngInfo = 0x2704,             // the library's info structure could not be made
    Res_pngNoConverter = 0x2705,      // no row converter for the wanted formats
    // LZW filter and decoder selection.
    Res_lzwCorrupt = 0x3B03,          // a code beyond the table, or a full table without a clear code
    Res_filterNoDecoder = 9733,       // 0x2605: no decoding answered yes, or a query failed
    // Word recognition.
    Res_wordNotWord = 3844,           // "WordDocument" does not begin with a known wIdent
    Res_wordEncrypted = 3845,         // the document is encrypted
    // Word tables and property modifiers (3840-3877).
    Res_wordNoPieceAtCp = 3840,       // no piece holds the CP
    Res_wordNoPieceAtFc = 3841,       // no piece holds the FC
    Res_wordSubdocEnd = 3842,         // the end of the sub-document came before a paragraph end
    Res_wordNotFound = 3843,          // no bin-table page, run, section or piece holds the position
    Res_wordBadSubdoc = 3851,         // a sub-document index above 7
    Res_wordBadSections = 3860,       // the section table does not fit 16-byte entries
    Res_wordShortStshi = 3863,        // a style sheet header shorter than 14 bytes
    Res_wordBigStshi = 3864,          // a style sheet header larger than the style sheet
    Res_wordBadIstd = 3865,           // a style index at or above the style count
    Res_wordEmptyStyle = 3866,        // an empty style slot
    Res_wordBadGrpprlKind = 3869,     // a modifier list kind that is not valid
    Res_wordBadIdent = 3870,          // modifiers of a file that is neither Word 6/95 nor Word 97
    Res_wordSprmUnhandled = 3871,     // a modifier its group does not handle (the walk goes on)
    Res_wordShortOperand = 3875,      // an operand shorter than its modifier needs
    Res_wordBadPicBorder = 3877,      // a picture border style above 3
    Res_wordBadFontTable = 3858,      // a malformed font table
    Res_wordBadValueType = 3846,      // a style value type above 13
    Res_wordNoSectionContext = 3847,  // header stories asked for without a section
    Res_wordFieldsTooDeep = 3897,     // fields nested deeper than 20
    Res_wordFieldNotOpen = 3898,      // a field separator or end without an open field
    // Buffered reader (2311-2319).
    Res_bufSkipPastEnd = 2311,        // a skip past the window's end
    Res_bufWindowBeyond = 2312,       // a window or limit beyond the source's size
    Res_bufWindowShort = 2313,        // a read of more bytes than the window has left
    Res_bufEmptyLend = 2319,          // the stream lent too few bytes (none, or fewer than needed)
    // Font engine (2304-2320; the reader's and the outlines' codes above
    // and below belong to the same range).
    Res_fontMapLine = 2304,           // a malformed line of the font map file
    Res_fontFileUnreadable = 2305,    // a font file that cannot be read
    Res_fontCatalogueEmpty = 2307,    // the catalogue holds no face
    Res_fontNoUsableMap = 2308,       // no character map the engine can use
    Res_fontUnsupported = 2309,       // bad version, unsupported format, or a font pack
                                      // without the font-pack operations
    Res_fontMissingTable = 2317,      // a required table is missing
    Res_fontKernCount = 2318,         // the kerning pair count does not fit the subtable
    Res_fontNotApplicable = 2320,     // a per-font operation that does not apply to the font
    // TrueType glyph outlines (2314-2316).
    Res_glyphNoPoints = 2314,         // point matching against an outline without points
    Res_glyphBadPoint = 2315,         // more flags than points, a point number beyond the
                                      // records, or an outline of more than 65535 points
    Res_glyphSelfContained = 2316,    // a composite that contains itself, or nests too deep
    // Byte streams and lookahead streams.
    Res_byteStreamEnded = 0x2205,     // the data ended before the bytes asked for
    Res_byteStreamNoSeek = 0x3B00,    // the stream cannot seek
    Res_peekNoControl = 0x3B02,       // the stream under a lookahead stream has no control slot
    Res_byteStreamNoControl = 15106,  // a byte-stream control operation that is not available
    // PDF reader (5888-5982; object access 5900-5922).
    Res_pdfNoHeader = 5888,           // 0x1700: no PDF header in the first 1032 bytes
    Res_pdfNoTail = 5889,             // 0x1701: no "startxref" / "%%EOF" tail in the last 1032 bytes
    Res_pdfNotCatalog = 5890,         // 0x1702: the catalogue's Type is not "Catalog"
    Res_pdfBadXrefType = 5892,        // a cross-reference entry type other than "n" or "f"
    Res_pdfXrefPending = 5893,        // a cross-reference entry read while integers were pending
    Res_pdfNoString = 5900,           // the object to read is missing: string
    Res_pdfNoInt = 5901,              // ... integer
    Res_pdfNoNumber = 5902,           // ... number
    Res_pdfNoName = 5903,             // ... name
    Res_pdfNoBool = 5904,             // ... boolean
    Res_pdfNoArray = 5905,            // the array is missing
    Res_pdfNoTag = 5906,              // ... internal tag
    Res_pdfNotString = 5908,          // wrong type for the getter: string
    Res_pdfNotInt = 5909,             // ... integer
    Res_pdfNotNumber = 5910,          // ... number
    Res_pdfNotName = 5911,            // ... name
    Res_pdfNotBool = 5912,            // ... boolean
    Res_pdfNotTag = 5913,             // ... internal tag
    Res_pdfNoDict = 5914,             // the dictionary is missing
    Res_pdfNotDict = 5915,            // not a dictionary or a stream
    Res_pdfNotArray = 5920,           // not an array
    Res_pdfNoCount = 5921,            // no count for a missing object
    Res_pdfCountType = 5922,          // no count for this type
    Res_pdfPageRange = 5938,          // a page number beyond the page tree
    Res_pdfPagesType = 5939,          // a "Pages" root of another Type
    Res_pdfPageNode = 5940,           // a page-tree node of another Type, an unresolvable kid, a cycle, too deep
    Res_pdfPageType = 5941,           // a page dictionary of another Type
    Res_pdfBadKeyword = 5955,         // an unrecognised or overlong keyword
    Res_pdfOperandsLeft = 5956,       // operands left over after a content operator
    Res_pdfOperandsFull = 5957,       // a 101st content operand
    Res_pdfOperandsEmpty = 5958,      // an operand needed on an empty operand stack
    Res_pdfNoSavedState = 5961,       // "Q" without a saved graphics state
    Res_pdfBadLineCap = 5962,         // a line cap outside 0..2
    Res_pdfBadLineJoin = 5963,        // a line join outside 0..2
    Res_pdfNoMediaBox = 5967,         // a page without a usable MediaBox
    Res_pdfBadTextArray = 5969,       // a "TJ" element that is neither number nor string
    Res_pdfFontSubtype = 5970,        // a font subtype that is not supported (a substitute is used)
    Res_pdfSyntax = 5971,             // malformed data
    Res_pdfColourModel = 5972,        // an image colour space no decoder handles (Lab, Pattern)
    Res_pdfEncryption = 5973,         // an encryption the standard security handler does not cover
    Res_pdfBadDifferences = 5974,     // a "Differences" element that is neither integer nor name
    Res_pdfNoDocument = 5975,         // an indirect object must be parsed but no document was given
    Res_pdfBadWidths = 5976,          // a malformed "W" array
    Res_pdfImageEmpty = 5977,         // an image stream without data
    Res_pdfCancelled = 5980,          // the password question was cancelled
    Res_pdfNoPages = 5982,            // the page count is 0
    Res_pdfNestingDepth = 5984,       // nested content runs past the depth limit
    Res_pdfNoFontData = 5978,         // an embedded font stream without data
    // Inflate streams (0x1600-0x1607).
    Res_inflateInit = 0x1600,         // zlib refused to initialise
    Res_inflateData = 0x1601,         // corrupt or truncated deflate data
    Res_inflateEnd = 0x1602,          // zlib refused to end the stream
    Res_inflateReset = 0x1603,        // zlib refused to reset
    Res_inflateNullArg = 0x1607,      // a null argument to Inflate_wholeBuffer
    // Excel workbooks (12544-12563).
    Res_excelMalformed = 12544,       // 0x3100: a malformed record stream or record body
    Res_excelBadPropType = 12559,     // 0x310F: a style property type outside the list
    Res_excelNoRule = 12561,          // 0x3111: a style rule or property is missing
    Res_excelNoXfTable = 12562,       // 0x3112: no XF table to resolve
    Res_excelNoFont = 12563,          // 0x3113: an XF's font index has no font
    // Number routines of the spreadsheet functions (0x6900-0x6904).
    Res_numDivideByZero = 26880,      // a division by zero, a zero derivative included
    Res_numNotFinite = 26881,         // the result is not a finite number
    Res_numNoConvergence = 26882,     // an iteration did not converge
    Res_numOutOfRange = 26883,        // an argument outside the function's domain
    Res_numNoSignChange = 26884,      // cash flows without both a positive and a negative value
    // Spreadsheet formulas.
    Res_formulaBadToken = 0x6600,     // a bad token id or attribute, or a token that overruns the string
    Res_formulaBadArgument = 0x6601,  // a text or missing argument, or a wrong argument count
    Res_formulaBadReference = 0x6602, // a deleted reference, or a cell holding #REF!
    Res_formulaNumber = 0x6603,       // a number outside a function's domain, or a cell holding #NUM!
    Res_formulaNull = 0x6604,         // a cell holding #NULL!
    Res_formulaNotAvailable = 0x6605, // a cell holding #N/A
    Res_formulaDivideByZero = 0x6606, // a division by zero, or a cell holding #DIV/0!
    Res_formulaCircular = 0x6607,     // a circular reference among the formulas of a sheet
    Res_formulaSyntax = 0x6608,       // formula text that does not parse, or tokens that cannot be text
    Res_formulaUnknownFunction = 0x6609, // a function without a name in the function-name table
    // Zip archives (17408, 17409).
    Res_zipBad = 17408,               // not a zip archive, a damaged one, or a member it cannot read
    Res_zipNoEntry = 17409,           // no entry with that name
    // Entry-tree walks.
    Res_entryTreeCycle = 14088,       // a reference leads back into a tree being walked
    Res_entryTreeTooDeep = 14089,     // the walk went deeper than its bound
    // Cookie store (13568-13572).
    Res_cookieFailed = 13568,         // the store could not do what was asked
    Res_cookieCorruptIndex = 13569,   // the index file was corrupt: the store started empty
    Res_cookieNoDomain = 13570,       // a policy for a host without a registrable domain
    Res_cookieNoHost = 13571,         // the document URL has no host
    Res_cookieDomainMismatch = 13572, // a Domain attribute that does not fit the host
};
