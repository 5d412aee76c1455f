// Result codes of the whole engine.
//
// Every engine function that can fail returns an int: 0 on success, 1 when
// memory ran out, otherwise one of the codes below. Modules own ranges of
// codes; add a module's codes here, under its heading, with their fixed
// values, so that code compares against names and never bare numbers.
//
// The list below is the one place that holds them: each row is
// X(name, value, meaning). It makes the ResultCode enumeration and the
// table behind Result_name and Result_text, which the tools use to say
// what an error was.
#pragma once

#define VEXLAN_RESULT_CODES(X)                                                                     \
    /* Shared by every module. */                                                                  \
    X(Res_ok, 0, "success")                                                                        \
    X(Res_noMemory, 1, "memory ran out")                                                           \
    X(Res_nullInput, 8, "a required input is missing (null)")                                      \
    X(Res_notFound, 13, "not found")                                                               \
    X(Res_tableFull, 14, "an index above a table's limit, or a table that is full")                \
    X(Res_slotInUse, 15, "the slot is already taken")                                              \
    X(Res_missingArgument, 16, "an argument is missing")                                           \
    X(Res_unexpectedKind, 17, "a record or item of a kind the operation does not take")            \
    X(Res_notJoinable, 34, "the thread cannot be joined")                                          \
    X(Res_stopRequested, 48, "a stop was requested")                                               \
    X(Res_poolStopping, 52, "the task pool is stopping")                                           \
    X(Res_eventProcStopping, 53, "the event processor is stopping")                                \
    X(Res_notImplemented, 259, "not implemented for this kind")                                    \
    /* Pages and the viewer's columns. */                                                          \
    X(Res_noSuchPage, 4097, "no such page, or no such item of a column")                           \
                                                                                                   \
    /* Keyed map. */                                                                               \
    X(Res_mapNotFound, 19, "no entry with that key")                                               \
                                                                                                   \
    /* Request and error handler list. */                                                          \
    X(Res_handlersNullList, 25600, "no list given")                                                \
    X(Res_handlersInsertFailed, 25601,                                                             \
      "the list refused the entry (a missing reference included)")                                 \
    X(Res_handlersNoList, 25602, "the list could not be made")                                     \
    /* Character sets (0x400-0x403): converter statuses, also returned by */                       \
    /* the whole-string conversions (0x400). */                                                    \
    X(Res_charsetUnknown, 0x400, "unknown charset code or failed conversion")                      \
    X(Res_charsetIncomplete, 0x401, "input ends inside a character")                               \
    X(Res_charsetDestFull, 0x402, "destination full")                                              \
    X(Res_charsetNoTable, 0x403, "the table for this charset is not installed")                    \
                                                                                                   \
    /* Containers: stop lists. */                                                                  \
    X(Res_stopCountInvalid, 5123, "a stop list holds 2 to 20 stops")                               \
    X(Res_stopIndexInvalid, 5124, "a stop index not below the list's count")                       \
    /* URLs, file URLs and the file driver. */                                                     \
    X(Res_urlIncomplete, 10, "a URL lacks a part it needs (a file URL without host)")              \
    X(Res_vfsNotAvailable, 769, "operation not available (slot missing, mode, buffer state)")      \
    X(Res_vfsInfoUnknown, 771, "info or query code not answered")                                  \
    X(Res_vfsInfoNotSettable, 772, "info code cannot be set")                                      \
    X(Res_vfsRequestTooLarge, 773, "a buffer request above 4096 bytes")                            \
    X(Res_vfsBufferLent, 776, "a buffer is still lent")                                            \
    X(Res_vfsNothingLent, 777, "a done call without a lent buffer")                                \
    X(Res_ramUrlText, 859, "not a \"RAM:\" memory-file text")                                      \
    X(Res_fileCannotOpen, 780, "cannot open the file or make a directory")                         \
    X(Res_fileRead, 782, "read failure")                                                           \
    X(Res_fileWrite, 783, "write failure")                                                         \
    X(Res_fileSize, 786, "size failure")                                                           \
    X(Res_fileSeek, 788, "bad seek")                                                               \
    X(Res_fileRemove, 790, "remove failure")                                                       \
    X(Res_fileRename, 791, "rename failure")                                                       \
    X(Res_fileCopy, 792, "copy failure")                                                           \
    X(Res_romFsBadEntry, 794, "a built-in listing met a path ending in \"/\"")                     \
    X(Res_fileBadPattern, 799, "a listing path without \"/\"")                                     \
    X(Res_fileBadHost, 801, "a file URL host that maps to no directory")                           \
    X(Res_urlBadPort, 1280, "a host's port is not a number from 1 to 65535")                       \
                                                                                                   \
    /* Virtual streams and stream helpers. */                                                      \
    X(Res_vfsNoType, 768, "no stream type for the URL's scheme")                                   \
    X(Res_vfsNotOpenedFor, 778, "the stream was not opened for this kind of access")               \
    X(Res_vfsRetryUnhandled, 839, "the type asks to be chosen again without the handler object")   \
    X(Res_vfsShortRead, 3605, "fewer bytes came than were asked for")                              \
    X(Res_vfsNotReadable, 3606, "opened for reading, but the stream is not readable")              \
    X(Res_vfsSeekMissed, 3607, "a seek landed elsewhere than the target")                          \
    X(Res_vfsDrainFirst, 28162, "0x6E02: the stream must be drained first")                        \
                                                                                                   \
    /* MIME archives (780 archive not usable or part empty, 839 no part for */                     \
    /* the URL: the codes the stream layer already knows). */                                      \
    X(Res_mimeNoDecoder, 838, "no decoder for the part's transfer encoding")                       \
    X(Res_mimeNoDocPart, 840, "no document part, or no URL for it")                                \
    X(Res_mimeBadWord, 15360, "an encoded word that does not decode")                              \
    X(Res_mimeNoBoundary, 15361, "a multipart part without a \"boundary\" parameter")              \
    X(Res_mimeNoBody, 15362, "the input ended in a body with nothing consumed")                    \
                                                                                                   \
    /* Compound files (office storage). */                                                         \
    X(Res_oleBadChain, 3584, "a broken sector chain")                                              \
    X(Res_oleNoEntry, 3585, "no directory entry with that id")                                     \
    X(Res_oleNoSuchEntry, 3586, "no such directory entry (by parent and name; the writer by id)")  \
    X(Res_oleLastChild, 3587, "the entry is the last child of its storage")                        \
    X(Res_oleNameTooLong, 3588, "a directory entry's name length is above 64 bytes")               \
    X(Res_oleForwardNoTable, 3598, "a forward-only stream needs a sector before the table exists") \
    X(Res_oleStreamEnd, 3599, "end of stream: nothing or fewer bytes than asked were left")        \
    X(Res_oleNotOpen, 3600, "closing a stream that is not open")                                   \
    X(Res_oleSeekBeyond, 3601, "a stream seek beyond the end")                                     \
    X(Res_oleChainEnds, 3602, "a stream's sector chain runs into a special id")                    \
    X(Res_oleExactShort, 3603, "an exact read or a scanned item came short")                       \
    X(Res_oleNoMatch, 3604, "a scan met no matching item within its limit")                        \
    X(Res_oleWriterAccess, 3606, "the writer's output cannot be written at random")                \
    X(Res_oleNotAfterHeader, 3608, "the stream does not stand after the header")                   \
    X(Res_oleMiniChainEnds, 3609, "the mini stream ends before the mini sector")                   \
    X(Res_oleSectorBehind, 3610, "forward-only stream: the sector lies behind the position")       \
    X(Res_oleSectorBeyond, 3611, "a special id, or an id beyond the file or the table")            \
    X(Res_oleNoMiniFat, 3612, "a mini sector is needed but the file has no mini FAT")              \
    X(Res_oleFatUnknown, 3613, "a release beyond the table, or a FAT entry still unknown")         \
    X(Res_oleEndsInSector, 3614, "the file ends inside a sector")                                  \
    X(Res_oleSectorConsumed, 3615,                                                                 \
      "a FAT, mini-FAT or split mini-stream sector asked for as data")                             \
    X(Res_oleWrongBuffer, 3616, "the buffer given back is not the one lent")                       \
    X(Res_oleNoDifat, 3617, "more than 109 FAT sectors but no DIFAT sector counted")               \
    X(Res_oleDifatLength, 3618, "the DIFAT chain is longer or shorter than counted")               \
    /* In-memory record reader. */                                                                 \
    X(Res_memReaderBeyond, 14848, "0x3A00: a seek or read beyond the block's size")                \
    /* Worker pool. */                                                                             \
    X(Res_jobStackTooLarge, 54, "no worker has the stack a job asks for")                          \
    /* Timer queue. */                                                                             \
    X(Res_timerThreadRunning, 6912, "the timer thread is already running")                         \
    /* Dates and times. */                                                                         \
    X(Res_badHttpDate, 16128, "0x3F00: the text is not an HTTP date of the three forms")           \
    /* Document model (1536-1558). */                                                              \
    X(Res_deadNode, 1537, "dead anchor or dead node (reference count 0)")                          \
    X(Res_notGroup, 1540, "the anchor or node is not a group")                                     \
    X(Res_notText, 1541, "the node is not a text node")                                            \
    X(Res_notGridRecord, 1542, "the node is not a grid record node")                               \
    X(Res_noParent, 1543, "no parent, or the root given to remove")                                \
    X(Res_wouldNest, 1544, "a node would become its own descendant")                               \
    X(Res_docClosing, 1545, "the document is closing")                                             \
    X(Res_nullGroup, 1546, "a null group")                                                         \
    X(Res_badPathScale, 1548, "a path's scale is not 0x10000")                                     \
    X(Res_refCountFull, 1549, "a node's 16-bit reference count is full")                           \
    X(Res_depthReached, 1550, "sub-document nesting depth 7 reached")                              \
    X(Res_nodeDeleted, 1551, "the node was deleted")                                               \
    X(Res_noSaveCallback, 1552, "the save callback is not installed")                              \
    X(Res_noNodeTest, 1553, "the node test is not installed")                                      \
    X(Res_noAncestorTest, 1554, "the ancestor test is not installed")                              \
    /* Node lists, focus order, document events and query cursors. */                              \
    X(Res_noDocument, 1536, "a query cursor without a document")                                   \
    X(Res_noFocusTarget, 1546, "the focus order holds no place to move to")                        \
    /* Form controls of the web layer. */                                                          \
    X(Res_formNoWidget, 6656, "a null control or widget")                                          \
    X(Res_formNotInitialised, 6657, "attaching a widget that is not initialised")                  \
    X(Res_formNotAttached, 6658, "sending a query to a widget that is not attached")               \
    X(Res_formCreateFailed, 6659, "a widget's creation failed")                                    \
    /* Counted lists of the widget toolkit. */                                                     \
    X(Res_listEnd, 14080, "the end of a walk, an index beyond the end, a value not found")         \
    X(Res_listEmpty, 14081, "the list is empty")                                                   \
    /* Shared-exclusive gates. */                                                                  \
    X(Res_gateNotHeld, 14083, "leaving what is not held")                                          \
    X(Res_gateHeld, 14084, "finishing a gate that is held")                                        \
    X(Res_gateFull, 14085, "too many shared holders")                                              \
    /* Response-cache sinks. */                                                                    \
    X(Res_sinkCut, 835, "data was dropped at the sink's limit")                                    \
    /* Style sets, readers and the inline walk. */                                                 \
    X(Res_styleNotGroup, 5122, "a style computed for a node that is not a group")                  \
    X(Res_stackExhausted, 5125, "a recursion guard found too little stack left")                   \
    /* Locks and semaphores. */                                                                    \
    X(Res_readersPresent, 1556, "a write lock that may not wait found readers inside")             \
    /* Document-type registry. */                                                                  \
    X(Res_docTypeNoMime, 20480, "content not certain and the stream has no MIME type")             \
    X(Res_docTypeUnknown, 20481, "nothing rated the content, MIME type or file name")              \
    X(Res_docTypeNoData, 20482, "no enabled sniffer answered, or the stream is empty")             \
    X(Res_docTypeNeedsContent, 20483,                                                              \
      "only type or name matched a handler that needs recognised content")                         \
    /* Compound-file probe (3590-3597). */                                                         \
    X(Res_oleMiniShift, 3590, "mini-sector shift not below the sector shift")                      \
    X(Res_oleNotAtStart, 3591, "the stream is not at its start")                                   \
    X(Res_oleNotCompound, 3592, "not a compound file (signature)")                                 \
    X(Res_oleBadVersion, 3593, "unsupported version")                                              \
    X(Res_oleShortRead, 3594, "short read at an offset")                                           \
    X(Res_oleShortHeader, 3595, "the stream is shorter than the 512-byte header")                  \
    X(Res_oleZeroShift, 3596, "sector shift outside 7-16, or a zero mini-sector shift")            \
    X(Res_oleBadByteOrder, 3597, "bad byte-order mark")                                            \
    /* Document translation and deferred loads. */                                                 \
    X(Res_fileTooLarge, 844, "the file is above \"translateFileSize\"")                            \
    X(Res_subdocLoop, 1557, "the URL is already open in the document or an ancestor")              \
    /* Display manager (4353-4356) and item-list drawing. */                                       \
    X(Res_dispmanBadMode, 4353, "a producer's mode other than 0 and 1")                            \
    X(Res_dispmanNoTile, 4354, "the page band memory cannot hold a tile of the view's format")     \
    X(Res_dispmanNoPage, 4355, "the view shows no page link there")                                \
    X(Res_dispmanNoNode, 4356, "no node at the point")                                             \
    /* Screens. */                                                                                 \
    X(Res_screenBadFormat, 29, "a host pixel format outside 0x10003-0x10007")                      \
    X(Res_screenSkipped, 30, "a creation step that had nothing to do (counts as success)")         \
    X(Res_bandNoRow, 23552, "0x5C00: the band buffer cannot hold one row")                         \
    /* Vector paths, pixel buffers and row operations (256-275). */                                \
    X(Res_pathNoCurrentPoint, 256,                                                                 \
      "an element other than a move appended without a current point")                             \
    X(Res_strokeBadJoin, 257, "a pen whose join bits hold 3")                                      \
    X(Res_pixelNoRowOp, 265, "no row operation for this pair or triple of formats")                \
    X(Res_pathEmptyArea, 266, "a shape whose clipped pixel box is empty")                          \
    X(Res_glyphOtherScale, 267, "a glyph mask made for a bitmap of another scale")                 \
    X(Res_scaleFormatPair, 269, "nearest-neighbour scaling between these pixel formats")           \
    X(Res_glyphNoHitTest, 268, "a glyph mask that cannot be hit-tested")                           \
    X(Res_pixelUnsupported, 271, "no conversion between these formats (or a format above 7)")      \
    X(Res_pixelOverBudget, 272, "a buffer would exceed the caller's byte budget")                  \
    X(Res_pixelTooFewTiles, 274, "fewer than two tiles fit the byte budget")                       \
    /* Image store and codec interface (0x1C00-0x1C15). */                                         \
    X(Res_imageCodecsFull, 0x1C00, "all 15 codec slots are taken")                                 \
    X(Res_imageNoCodec, 0x1C01, "7169: no codec recognised the data")                              \
    X(Res_imageSizeChanged, 0x1C04, "a second header with another size: decode again")             \
    X(Res_imageZeroSize, 0x1C05, "a header with a width or height of 0")                           \
    X(Res_imageNoPicture, 0x1C06, "7174: a still image decoded without a picture")                 \
    X(Res_imageRowShift, 0x1C0E, "whole-picture buffers asked while the store reduces rows")       \
    X(Res_imageEmpty, 0x1C15, "7189: the data is empty")                                           \
    X(Res_imageNoFreeFrame, 0x1C07, "7175: no frame of the pool is free yet")                      \
    X(Res_imageGoRound, 0x1C08, "7176: the animation loop goes round again at once")               \
    X(Res_imageNoImage, 0x1C10, "7184: the handle has no image")                                   \
    X(Res_imageNotDecoded, 0x1C11, "7185: not decoded, and the caller did not allow decoding")     \
    X(Res_imageFrameDone, 0x1C14, "7188: a frame is done, the animation goes on")                  \
    /* BMP decoder (0x1E00-0x1E07). */                                                             \
    X(Res_bmpDeltaEscape, 0x1E00, "an RLE position delta (0, 2), which is not supported")          \
    X(Res_bmpBadSignature, 0x1E01,                                                                 \
      "no \"BM\", or a pair other than end-of-bitmap after the last RLE row")                      \
    X(Res_bmpNoConverter, 0x1E02,                                                                  \
      "no row converter for the format, or pixel data inside the headers")                         \
    X(Res_bmpBadCompression, 0x1E04,                                                               \
      "a compression other than 0-3 and 6, or one that does not fit the depth")                    \
    X(Res_bmpBadHeader, 0x1E05,                                                                    \
      "a header size other than 12 or 40 to 65536, or a bad width or height")                      \
    X(Res_bmpBadDepth, 0x1E06, "bits per pixel other than 1, 4, 8, 16, 24 or 32")                  \
    X(Res_bmpShortData, 0x1E07, "the data ended early, or an RLE row of the wrong length")         \
    /* WBMP decoder (0x1F00-0x1F02). */                                                            \
    X(Res_wbmpBadHeader, 0x1F00, "not a type-0 header, or a size above 1024")                      \
    X(Res_wbmpShortData, 0x1F01, "the pixel data ended early")                                     \
    X(Res_wbmpNoConverter, 0x1F02, "no row converter for the format")                              \
    /* GIF decoder (0x2201-0x2207). */                                                             \
    X(Res_gifNoConverter, 0x2201, "no palette converter or row writer for the wanted format")      \
    X(Res_gifBadCodeSize, 0x2202, "an LZW minimum code size of 0 or above 9")                      \
    X(Res_gifNoColourTable, 0x2203, "a frame without a local colour table and no global one")      \
    X(Res_gifBadSignature, 0x2204, "not GIF87a or GIF89a")                                         \
    X(Res_gifBadIntroducer, 0x2206, "an unknown block introducer while reading the header")        \
    X(Res_gifZeroSize, 0x2207, "a frame width or height of 0")                                     \
    /* CCITT fax decoder (0x2100, 0x2103). */                                                      \
    X(Res_faxNoRows, 0x2100, "a row count of 0")                                                   \
    X(Res_faxBadData, 0x2103, "corrupt coding, or a damaged row that cannot be repaired")          \
    /* JPEG decoder (0x2301-0x2302). */                                                            \
    X(Res_jpegNoConverter, 0x2301, "the wanted picture format is not a 5-6-5 format")              \
    X(Res_jpegLibrary, 0x2302, "the decoding library failed, other than for memory")               \
    /* PNG decoder (0x2701-0x2705). */                                                             \
    X(Res_pngNotPng, 0x2701, "fewer than 8 bytes, or not the PNG signature")                       \
    X(Res_pngCreate, 0x2702, "the library's read structure could not be made")                     \
    X(Res_pngLibrary, 0x2703, "the library failed without an engine error code")                   \
    X(Res_pngInfo, 0x2704, "the library's info structure could not be made")                       \
    X(Res_pngNoConverter, 0x2705, "no row converter for the wanted formats")                       \
    /* LZW filter and decoder selection. */                                                        \
    X(Res_lzwCorrupt, 0x3B03, "a code beyond the table, or a full table without a clear code")     \
    X(Res_filterNoDecoder, 9733, "0x2605: no decoding answered yes, or a query failed")            \
    /* Word recognition. */                                                                        \
    X(Res_wordNotWord, 3844, "\"WordDocument\" does not begin with a known wIdent")                \
    X(Res_wordEncrypted, 3845, "the document is encrypted")                                        \
    /* Presentations. */                                                                           \
    X(Res_presentationEncrypted, 6145, "an encrypted presentation")                                \
    /* Word tables and property modifiers (3840-3877). */                                          \
    X(Res_wordNoPieceAtCp, 3840, "no piece holds the CP")                                          \
    X(Res_wordNoPieceAtFc, 3841, "no piece holds the FC")                                          \
    X(Res_wordSubdocEnd, 3842, "the end of the sub-document came before a paragraph end")          \
    X(Res_wordNotFound, 3843, "no bin-table page, run, section or piece holds the position")       \
    X(Res_wordBadSubdoc, 3851, "a sub-document index above 7")                                     \
    X(Res_wordBadSections, 3860, "the section table does not fit 16-byte entries")                 \
    X(Res_wordShortStshi, 3863, "a style sheet header shorter than 14 bytes")                      \
    X(Res_wordBigStshi, 3864, "a style sheet header larger than the style sheet")                  \
    X(Res_wordBadIstd, 3865, "a style index at or above the style count")                          \
    X(Res_wordEmptyStyle, 3866, "an empty style slot")                                             \
    X(Res_wordBadGrpprlKind, 3869, "a modifier list kind that is not valid")                       \
    X(Res_wordBadIdent, 3870, "modifiers of a file that is neither Word 6/95 nor Word 97")         \
    X(Res_wordSprmUnhandled, 3871, "a modifier its group does not handle (the walk goes on)")      \
    X(Res_wordShortOperand, 3875, "an operand shorter than its modifier needs")                    \
    X(Res_wordBadPicBorder, 3877, "a picture border style above 3")                                \
    X(Res_wordBadFontTable, 3858, "a malformed font table")                                        \
    X(Res_wordBadValueType, 3846, "a style value type above 13")                                   \
    X(Res_wordNoSectionContext, 3847, "header stories asked for without a section")                \
    X(Res_wordFieldsTooDeep, 3897, "fields nested deeper than 20")                                 \
    X(Res_wordFieldNotOpen, 3898, "a field separator or end without an open field")                \
    /* Buffered reader (2311-2319). */                                                             \
    X(Res_bufSkipPastEnd, 2311, "a skip past the window's end")                                    \
    X(Res_bufWindowBeyond, 2312, "a window or limit beyond the source's size")                     \
    X(Res_bufWindowShort, 2313, "a read of more bytes than the window has left")                   \
    X(Res_bufEmptyLend, 2319, "the stream lent too few bytes (none, or fewer than needed)")        \
    /* Font engine (2304-2320; the reader's and the outlines' codes above */                       \
    /* and below belong to the same range). */                                                     \
    X(Res_fontMapLine, 2304, "a malformed line of the font map file")                              \
    X(Res_fontFileUnreadable, 2305, "a font file that cannot be read")                             \
    X(Res_fontCatalogueEmpty, 2307, "the catalogue holds no face")                                 \
    X(Res_fontNoUsableMap, 2308, "no character map the engine can use")                            \
    X(Res_fontUnsupported, 2309,                                                                   \
      "bad version, unsupported format, or a font pack without the font-pack operations")          \
    X(Res_fontMissingTable, 2317, "a required table is missing")                                   \
    X(Res_fontKernCount, 2318, "the kerning pair count does not fit the subtable")                 \
    X(Res_fontNotApplicable, 2320, "a per-font operation that does not apply to the font")         \
    /* TrueType glyph outlines (2314-2316). */                                                     \
    X(Res_glyphNoPoints, 2314, "point matching against an outline without points")                 \
    X(Res_glyphBadPoint, 2315,                                                                     \
      "more flags than points, a point number beyond the records, or an outline of more than "     \
      "65535 points")                                                                              \
    X(Res_glyphSelfContained, 2316, "a composite that contains itself, or nests too deep")         \
    /* Byte streams and lookahead streams. */                                                      \
    X(Res_byteStreamEnded, 0x2205, "the data ended before the bytes asked for")                    \
    X(Res_byteStreamNoSeek, 0x3B00, "the stream cannot seek")                                      \
    X(Res_peekNoControl, 0x3B02, "the stream under a lookahead stream has no control slot")        \
    X(Res_byteStreamNoControl, 15106, "a byte-stream control operation that is not available")     \
    /* PDF reader (5888-5982; object access 5900-5922). */                                         \
    X(Res_pdfNoHeader, 5888, "0x1700: no PDF header in the first 1032 bytes")                      \
    X(Res_pdfNoTail, 5889, "0x1701: no \"startxref\" / \"%%EOF\" tail in the last 1032 bytes")     \
    X(Res_pdfNotCatalog, 5890, "0x1702: the catalogue's Type is not \"Catalog\"")                  \
    X(Res_pdfBadXrefType, 5892, "a cross-reference entry type other than \"n\" or \"f\"")          \
    X(Res_pdfXrefPending, 5893, "a cross-reference entry read while integers were pending")        \
    X(Res_pdfNoString, 5900, "the object to read is missing: string")                              \
    X(Res_pdfNoInt, 5901, "... integer")                                                           \
    X(Res_pdfNoNumber, 5902, "... number")                                                         \
    X(Res_pdfNoName, 5903, "... name")                                                             \
    X(Res_pdfNoBool, 5904, "... boolean")                                                          \
    X(Res_pdfNoArray, 5905, "the array is missing")                                                \
    X(Res_pdfNoTag, 5906, "... internal tag")                                                      \
    X(Res_pdfNotString, 5908, "wrong type for the getter: string")                                 \
    X(Res_pdfNotInt, 5909, "... integer")                                                          \
    X(Res_pdfNotNumber, 5910, "... number")                                                        \
    X(Res_pdfNotName, 5911, "... name")                                                            \
    X(Res_pdfNotBool, 5912, "... boolean")                                                         \
    X(Res_pdfNotTag, 5913, "... internal tag")                                                     \
    X(Res_pdfNoDict, 5914, "the dictionary is missing")                                            \
    X(Res_pdfNotDict, 5915, "not a dictionary or a stream")                                        \
    X(Res_pdfNotArray, 5920, "not an array")                                                       \
    X(Res_pdfNoCount, 5921, "no count for a missing object")                                       \
    X(Res_pdfCountType, 5922, "no count for this type")                                            \
    X(Res_pdfPageRange, 5938, "a page number beyond the page tree")                                \
    X(Res_pdfPagesType, 5939, "a \"Pages\" root of another Type")                                  \
    X(Res_pdfPageNode, 5940,                                                                       \
      "a page-tree node of another Type, an unresolvable kid, a cycle, too deep")                  \
    X(Res_pdfPageType, 5941, "a page dictionary of another Type")                                  \
    X(Res_pdfBadKeyword, 5955, "an unrecognised or overlong keyword")                              \
    X(Res_pdfOperandsLeft, 5956, "operands left over after a content operator")                    \
    X(Res_pdfOperandsFull, 5957, "a 101st content operand")                                        \
    X(Res_pdfOperandsEmpty, 5958, "an operand needed on an empty operand stack")                   \
    X(Res_pdfNoSavedState, 5961, "\"Q\" without a saved graphics state")                           \
    X(Res_pdfBadLineCap, 5962, "a line cap outside 0..2")                                          \
    X(Res_pdfBadLineJoin, 5963, "a line join outside 0..2")                                        \
    X(Res_pdfNoMediaBox, 5967, "a page without a usable MediaBox")                                 \
    X(Res_pdfBadTextArray, 5969, "a \"TJ\" element that is neither number nor string")             \
    X(Res_pdfFontSubtype, 5970, "a font subtype that is not supported (a substitute is used)")     \
    X(Res_pdfSyntax, 5971, "malformed data")                                                       \
    X(Res_pdfColourModel, 5972, "an image colour space no decoder handles (Lab, Pattern)")         \
    X(Res_pdfEncryption, 5973, "an encryption the standard security handler does not cover")       \
    X(Res_pdfBadDifferences, 5974, "a \"Differences\" element that is neither integer nor name")   \
    X(Res_pdfNoDocument, 5975, "an indirect object must be parsed but no document was given")      \
    X(Res_pdfBadWidths, 5976, "a malformed \"W\" array")                                           \
    X(Res_pdfImageEmpty, 5977, "an image stream without data")                                     \
    X(Res_pdfCancelled, 5980, "the password question was cancelled")                               \
    X(Res_pdfPasswordRefused, 5981, "the document's password was not accepted")                    \
    X(Res_pdfNoPages, 5982, "the page count is 0")                                                 \
    X(Res_pdfNestingDepth, 5984, "nested content runs past the depth limit")                       \
    X(Res_pdfNoFontData, 5978, "an embedded font stream without data")                             \
    /* Inflate streams (0x1600-0x1607). */                                                         \
    X(Res_inflateInit, 0x1600, "zlib refused to initialise")                                       \
    X(Res_inflateData, 0x1601, "corrupt or truncated deflate data")                                \
    X(Res_inflateEnd, 0x1602, "zlib refused to end the stream")                                    \
    X(Res_inflateReset, 0x1603, "zlib refused to reset")                                           \
    X(Res_inflateNullArg, 0x1607, "a null argument to Inflate_wholeBuffer")                        \
    /* Excel workbooks (12544-12563). */                                                           \
    X(Res_excelMalformed, 12544, "0x3100: a malformed record stream or record body")               \
    X(Res_excelBadPropType, 12559, "0x310F: a style property type outside the list")               \
    X(Res_excelNoRule, 12561, "0x3111: a style rule or property is missing")                       \
    X(Res_excelNoXfTable, 12562, "0x3112: no XF table to resolve")                                 \
    X(Res_excelNoFont, 12563, "0x3113: an XF's font index has no font")                            \
    X(Res_workbookEncrypted, 12552, "0x3108: an encrypted workbook, which is not read")            \
    /* Number routines of the spreadsheet functions (0x6900-0x6904). */                            \
    X(Res_numDivideByZero, 26880, "a division by zero, a zero derivative included")                \
    X(Res_numNotFinite, 26881, "the result is not a finite number")                                \
    X(Res_numNoConvergence, 26882, "an iteration did not converge")                                \
    X(Res_numOutOfRange, 26883, "an argument outside the function's domain")                       \
    X(Res_numNoSignChange, 26884, "cash flows without both a positive and a negative value")       \
    /* Spreadsheet formulas. */                                                                    \
    X(Res_formulaBadToken, 0x6600,                                                                 \
      "a bad token id or attribute, or a token that overruns the string")                          \
    X(Res_formulaBadArgument, 0x6601, "a text or missing argument, or a wrong argument count")     \
    X(Res_formulaBadReference, 0x6602, "a deleted reference, or a cell holding #REF!")             \
    X(Res_formulaNumber, 0x6603, "a number outside a function's domain, or a cell holding #NUM!")  \
    X(Res_formulaNull, 0x6604, "a cell holding #NULL!")                                            \
    X(Res_formulaNotAvailable, 0x6605, "a cell holding #N/A")                                      \
    X(Res_formulaDivideByZero, 0x6606, "a division by zero, or a cell holding #DIV/0!")            \
    X(Res_formulaCircular, 0x6607, "a circular reference among the formulas of a sheet")           \
    X(Res_formulaSyntax, 0x6608,                                                                   \
      "formula text that does not parse, or tokens that cannot be text")                           \
    X(Res_formulaUnknownFunction, 0x6609, "a function without a name in the function-name table")  \
    /* Zip archives (17408, 17409). */                                                             \
    X(Res_zipBad, 17408, "not a zip archive, a damaged one, or a member it cannot read")           \
    X(Res_zipNoEntry, 17409, "no entry with that name")                                            \
    /* Entry-tree walks. */                                                                        \
    X(Res_entryTreeCycle, 14088, "a reference leads back into a tree being walked")                \
    X(Res_entryTreeTooDeep, 14089, "the walk went deeper than its bound")                          \
    /* Cookie store (13568-13572). */                                                              \
    X(Res_cookieFailed, 13568, "the store could not do what was asked")                            \
    X(Res_cookieCorruptIndex, 13569, "the index file was corrupt: the store started empty")        \
    X(Res_cookieNoDomain, 13570, "a policy for a host without a registrable domain")               \
    X(Res_cookieNoHost, 13571, "the document URL has no host")                                     \
    X(Res_cookieDomainMismatch, 13572, "a Domain attribute that does not fit the host")

enum ResultCode : int {
#define VEXLAN_RESULT_ENUM(name, value, text) name = value,
    VEXLAN_RESULT_CODES(VEXLAN_RESULT_ENUM)
#undef VEXLAN_RESULT_ENUM
};

// The name of a result code without its "Res_" prefix ("noMemory"), or null
// for a code the list does not hold. Where two names share a value, the
// first in the list answers.
const char *Result_name(int code);
// What a result code means ("a required table is missing"); the name when
// the list gives no meaning, null for a code the list does not hold.
const char *Result_text(int code);
