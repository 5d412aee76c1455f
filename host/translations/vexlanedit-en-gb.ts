<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name>MainWidgetCommon</name>
    <message>
        <source>RES_OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>RES_YES</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>RES_NO</source>
        <translation>No</translation>
    </message>
    <message>
        <source>RES_FULLSCREEN</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>RES_MEMORY_HEAP_KB</source>
        <translation>65536</translation>
    </message>
    <message>
        <source>RES_MENU_FILE</source>
        <translation>File</translation>
    </message>
    <message>
        <source>RES_MENU_OPEN</source>
        <translation>Open…</translation>
    </message>
    <message>
        <source>RES_MENU_SAVE</source>
        <translation>Save as…</translation>
    </message>
    <message>
        <source>RES_MENU_RECENT</source>
        <translation>Recent files</translation>
    </message>
    <message>
        <source>RES_MENU_VIEW</source>
        <translation>View</translation>
    </message>
    <message>
        <source>RES_MENU_NEXTPAGE</source>
        <translation>Next page</translation>
    </message>
    <message>
        <source>RES_MENU_PREVPAGE</source>
        <translation>Previous page</translation>
    </message>
    <message>
        <source>RES_MENU_FITWIDTH</source>
        <translation>Fit width</translation>
    </message>
    <message>
        <source>RES_MENU_FITHEIGHT</source>
        <translation>Fit height</translation>
    </message>
    <message>
        <source>RES_MENU_ROTATEDOC</source>
        <translation>Rotate</translation>
    </message>
    <message>
        <source>RES_MENU_REFLOW</source>
        <translation>Reflow text</translation>
    </message>
    <message>
        <source>RES_MENU_DOCUMENT</source>
        <translation>Document</translation>
    </message>
    <message>
        <source>RES_MENU_GOTOPAGE</source>
        <translation>Go to page…</translation>
    </message>
    <message>
        <source>RES_MENU_GOTOELEMENT</source>
        <translation>Go to cell…</translation>
    </message>
    <message>
        <source>RES_MENU_SEARCH</source>
        <translation>Find…</translation>
    </message>
    <message>
        <source>RES_MENU_SEARCH_AGAIN</source>
        <translation>Find again</translation>
    </message>
    <message>
        <source>RES_MENU_COPY</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>RES_MENU_PREFERENCES</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>RES_MENU_HELP</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>RES_MENU_ABOUT</source>
        <translation>About</translation>
    </message>
    <message>
        <source>RES_TITLE_GOTOPAGE</source>
        <translation>Go to page</translation>
    </message>
    <message>
        <source>RES_HINT_GOTOPAGE</source>
        <translation>Page number:</translation>
    </message>
    <message>
        <source>RES_TITLE_GOTOELEMENT</source>
        <translation>Go to cell</translation>
    </message>
    <message>
        <source>RES_HINT_GOTOELEMENT</source>
        <translation>Cell reference, for example B12:</translation>
    </message>
    <message>
        <source>RES_TITLE_SEARCH</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>RES_HINT_SEARCH</source>
        <translation>Text to find:</translation>
    </message>
    <message>
        <source>RES_TITLE_PASSWORD</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>RES_HINT_PASSWORD</source>
        <translation>This document is protected. Enter its password:</translation>
    </message>
</context>
<context>
    <name>Core</name>
    <message>
        <source>RES_ALERT_ARRAYNOTSUPPORTED</source>
        <translation>Array formulas are not supported.</translation>
    </message>
    <message>
        <source>RES_ALERT_CIRCULARDEPENDENCY</source>
        <translation>The formula refers to its own cell.</translation>
    </message>
    <message>
        <source>RES_ALERT_COULDNOTINSERTHERE</source>
        <translation>Cells cannot be inserted here.</translation>
    </message>
    <message>
        <source>RES_ALERT_COULDNOTINSERTMAX</source>
        <translation>The sheet is full: no more rows or columns can be inserted.</translation>
    </message>
    <message>
        <source>RES_ALERT_DOCNOTEDITABLE</source>
        <translation>This document cannot be edited.</translation>
    </message>
    <message>
        <source>RES_ALERT_DOCSAVEDSUCCESSFULLY</source>
        <translation>The document was saved.</translation>
    </message>
    <message>
        <source>RES_ALERT_DOCSAVEERROR</source>
        <translation>The document could not be saved.</translation>
    </message>
    <message>
        <source>RES_ALERT_DOCTRANSLATIONFAILED</source>
        <translation>The document could not be opened.</translation>
    </message>
    <message>
        <source>RES_ALERT_ERRORINFORMULA</source>
        <translation>The formula has an error.</translation>
    </message>
    <message>
        <source>RES_ALERT_FAILEDTODELETE</source>
        <translation>The selection could not be deleted.</translation>
    </message>
    <message>
        <source>RES_ALERT_FAILEDTODESELECT</source>
        <translation>The selection could not be cleared.</translation>
    </message>
    <message>
        <source>RES_ALERT_FAILEDTOEDIT</source>
        <translation>The text could not be edited.</translation>
    </message>
    <message>
        <source>RES_ALERT_FAILEDTOINSERT</source>
        <translation>The cells could not be inserted.</translation>
    </message>
    <message>
        <source>RES_ALERT_FAILEDTOUPDATE</source>
        <translation>The change could not be applied.</translation>
    </message>
    <message>
        <source>RES_ALERT_FORMULASUNSUPPORTED</source>
        <translation>This sheet uses formulas that cannot be edited; it is shown read-only.</translation>
    </message>
    <message>
        <source>RES_ALERT_FORMULAUNSUPPORTED</source>
        <translation>This formula is not supported.</translation>
    </message>
    <message>
        <source>RES_ALERT_GOTOERROR</source>
        <translation>The cell could not be shown.</translation>
    </message>
    <message>
        <source>RES_ALERT_GOTOFAILED</source>
        <translation>That cell is outside the sheet.</translation>
    </message>
    <message>
        <source>RES_ALERT_IMAGESUBSAMPLED</source>
        <translation>Some pictures are shown at a lower resolution to save memory.</translation>
    </message>
    <message>
        <source>RES_ALERT_INTERNALERROR</source>
        <translation>An internal error occurred.</translation>
    </message>
    <message>
        <source>RES_ALERT_INVALIDFONTSIZE</source>
        <translation>That font size cannot be used; the nearest size was taken.</translation>
    </message>
    <message>
        <source>RES_ALERT_INVALIDGOTO</source>
        <translation>That is not a cell reference.</translation>
    </message>
    <message>
        <source>RES_ALERT_NOTHINGSELECTED</source>
        <translation>Nothing is selected.</translation>
    </message>
    <message>
        <source>RES_ALERT_OUTOFMEMORY</source>
        <translation>There is not enough memory to show all of this document.</translation>
    </message>
    <message>
        <source>RES_ALERT_SEARCHERROR</source>
        <translation>The search could not go on.</translation>
    </message>
    <message>
        <source>RES_ALERT_SEARCHFAILED</source>
        <translation>The text was not found.</translation>
    </message>
    <message>
        <source>RES_ALERT_SEARCHWRAPPED</source>
        <translation>The end of the document was reached. Search again from the start?</translation>
    </message>
    <message>
        <source>RES_ALERT_UNKNOWNERROR</source>
        <translation>An unknown error occurred.</translation>
    </message>
    <message>
        <source>RES_CONFIRM_CONFIRMQUIT</source>
        <translation>The document has changes that are not saved. Quit anyway?</translation>
    </message>
    <message>
        <source>RES_CONFIRM_CONTENTLOSS</source>
        <translation>Some of the document's contents will be lost. Go on?</translation>
    </message>
    <message>
        <source>RES_CONFIRM_OPENNEW</source>
        <translation>The document has changes that are not saved. Open the other document anyway?</translation>
    </message>
    <message>
        <source>RES_CONFIRM_FOLLOWLINK</source>
        <translation>Follow this link?</translation>
    </message>
</context>
<context>
    <name>DateTime</name>
    <message>
        <source>RES_DAY_1</source>
        <translation>Sunday</translation>
    </message>
    <message>
        <source>RES_DAY_2</source>
        <translation>Monday</translation>
    </message>
    <message>
        <source>RES_DAY_3</source>
        <translation>Tuesday</translation>
    </message>
    <message>
        <source>RES_DAY_4</source>
        <translation>Wednesday</translation>
    </message>
    <message>
        <source>RES_DAY_5</source>
        <translation>Thursday</translation>
    </message>
    <message>
        <source>RES_DAY_6</source>
        <translation>Friday</translation>
    </message>
    <message>
        <source>RES_DAY_7</source>
        <translation>Saturday</translation>
    </message>
    <message>
        <source>RES_DAYABBR_1</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>RES_DAYABBR_2</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>RES_DAYABBR_3</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>RES_DAYABBR_4</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>RES_DAYABBR_5</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>RES_DAYABBR_6</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>RES_DAYABBR_7</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>RES_MONTH_1</source>
        <translation>January</translation>
    </message>
    <message>
        <source>RES_MONTH_2</source>
        <translation>February</translation>
    </message>
    <message>
        <source>RES_MONTH_3</source>
        <translation>March</translation>
    </message>
    <message>
        <source>RES_MONTH_4</source>
        <translation>April</translation>
    </message>
    <message>
        <source>RES_MONTH_5</source>
        <translation>May</translation>
    </message>
    <message>
        <source>RES_MONTH_6</source>
        <translation>June</translation>
    </message>
    <message>
        <source>RES_MONTH_7</source>
        <translation>July</translation>
    </message>
    <message>
        <source>RES_MONTH_8</source>
        <translation>August</translation>
    </message>
    <message>
        <source>RES_MONTH_9</source>
        <translation>September</translation>
    </message>
    <message>
        <source>RES_MONTH_10</source>
        <translation>October</translation>
    </message>
    <message>
        <source>RES_MONTH_11</source>
        <translation>November</translation>
    </message>
    <message>
        <source>RES_MONTH_12</source>
        <translation>December</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_1</source>
        <translation>Jan</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_2</source>
        <translation>Feb</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_3</source>
        <translation>Mar</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_4</source>
        <translation>Apr</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_5</source>
        <translation>May</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_6</source>
        <translation>Jun</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_7</source>
        <translation>Jul</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_8</source>
        <translation>Aug</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_9</source>
        <translation>Sep</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_10</source>
        <translation>Oct</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_11</source>
        <translation>Nov</translation>
    </message>
    <message>
        <source>RES_MONTHABBR_12</source>
        <translation>Dec</translation>
    </message>
    <message>
        <source>RES_AMPM_1</source>
        <translation>AM</translation>
    </message>
    <message>
        <source>RES_AMPM_2</source>
        <translation>PM</translation>
    </message>
    <message>
        <source>RES_TIMEDATE_LONGDATEFORMAT</source>
        <translation>%d %B %Y</translation>
    </message>
    <message>
        <source>RES_TIMEDATE_DATEFORMAT</source>
        <translation>%d/%m/%Y</translation>
    </message>
    <message>
        <source>RES_TIMEDATE_DATETIMEFORMAT</source>
        <translation>%d/%m/%Y %H:%M</translation>
    </message>
    <message>
        <source>RES_TIMEDATE_TIMEFORMAT</source>
        <translation>%H:%M:%S</translation>
    </message>
</context>
<context>
    <name>FunctionNames</name>
    <message>
        <source>RES_FUNC_NOW</source>
        <translation>NOW</translation>
    </message>
    <message>
        <source>RES_FUNC_FV</source>
        <translation>FV</translation>
    </message>
    <message>
        <source>RES_FUNC_IRR</source>
        <translation>IRR</translation>
    </message>
    <message>
        <source>RES_FUNC_NPER</source>
        <translation>NPER</translation>
    </message>
    <message>
        <source>RES_FUNC_NPV</source>
        <translation>NPV</translation>
    </message>
    <message>
        <source>RES_FUNC_PMT</source>
        <translation>PMT</translation>
    </message>
    <message>
        <source>RES_FUNC_PV</source>
        <translation>PV</translation>
    </message>
    <message>
        <source>RES_FUNC_RATE</source>
        <translation>RATE</translation>
    </message>
    <message>
        <source>RES_FUNC_AND</source>
        <translation>AND</translation>
    </message>
    <message>
        <source>RES_FUNC_FALSE</source>
        <translation>FALSE</translation>
    </message>
    <message>
        <source>RES_FUNC_IF</source>
        <translation>IF</translation>
    </message>
    <message>
        <source>RES_FUNC_NOT</source>
        <translation>NOT</translation>
    </message>
    <message>
        <source>RES_FUNC_OR</source>
        <translation>OR</translation>
    </message>
    <message>
        <source>RES_FUNC_TRUE</source>
        <translation>TRUE</translation>
    </message>
    <message>
        <source>RES_FUNC_ABS</source>
        <translation>ABS</translation>
    </message>
    <message>
        <source>RES_FUNC_INT</source>
        <translation>INT</translation>
    </message>
    <message>
        <source>RES_FUNC_LN</source>
        <translation>LN</translation>
    </message>
    <message>
        <source>RES_FUNC_LOG</source>
        <translation>LOG</translation>
    </message>
    <message>
        <source>RES_FUNC_LOG10</source>
        <translation>LOG10</translation>
    </message>
    <message>
        <source>RES_FUNC_MOD</source>
        <translation>MOD</translation>
    </message>
    <message>
        <source>RES_FUNC_POWER</source>
        <translation>POWER</translation>
    </message>
    <message>
        <source>RES_FUNC_PRODUCT</source>
        <translation>PRODUCT</translation>
    </message>
    <message>
        <source>RES_FUNC_ROUND</source>
        <translation>ROUND</translation>
    </message>
    <message>
        <source>RES_FUNC_SQRT</source>
        <translation>SQRT</translation>
    </message>
    <message>
        <source>RES_FUNC_SUM</source>
        <translation>SUM</translation>
    </message>
    <message>
        <source>RES_FUNC_SUMIF</source>
        <translation>SUMIF</translation>
    </message>
    <message>
        <source>RES_FUNC_TRUNC</source>
        <translation>TRUNC</translation>
    </message>
    <message>
        <source>RES_FUNC_AVERAGE</source>
        <translation>AVERAGE</translation>
    </message>
    <message>
        <source>RES_FUNC_COUNTIF</source>
        <translation>COUNTIF</translation>
    </message>
    <message>
        <source>RES_FUNC_MAX</source>
        <translation>MAX</translation>
    </message>
    <message>
        <source>RES_FUNC_MIN</source>
        <translation>MIN</translation>
    </message>
</context>
<context>
    <name>ContentsEditDialog</name>
    <message>
        <source>RES_CED_TITLE</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>RES_CED_STYLE</source>
        <translation>Style</translation>
    </message>
    <message>
        <source>RES_CED_SIZE</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>RES_CED_COLOUR</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>RES_CED_HIGHLIGHT</source>
        <translation>Highlight</translation>
    </message>
    <message>
        <source>RES_CED_NOCOLOUR</source>
        <translation>None</translation>
    </message>
    <message>
        <source>RES_CED_FONT</source>
        <translation>Font</translation>
    </message>
    <message>
        <source>RES_CED_FORMAT</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>RES_CED_LAYOUT</source>
        <translation>Alignment</translation>
    </message>
    <message>
        <source>RES_CED_LAYLEFT</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>RES_CED_LAYHCENTRE</source>
        <translation>Centre</translation>
    </message>
    <message>
        <source>RES_CED_LAYRIGHT</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>RES_CED_LAYTOP</source>
        <translation>Top</translation>
    </message>
    <message>
        <source>RES_CED_LAYVCENTRE</source>
        <translation>Middle</translation>
    </message>
    <message>
        <source>RES_CED_LAYBOTTOM</source>
        <translation>Bottom</translation>
    </message>
    <message>
        <source>RES_CED_RESIZEWIDTH</source>
        <translation>Column width</translation>
    </message>
    <message>
        <source>RES_CED_RESIZEHEIGHT</source>
        <translation>Row height</translation>
    </message>
    <message>
        <source>RES_CED_AUTOFIT</source>
        <translation>Fit to contents</translation>
    </message>
    <message>
        <source>RES_CED_INSERTROWBEFORE</source>
        <translation>Insert a row above</translation>
    </message>
    <message>
        <source>RES_CED_INSERTCOLUMNBEFORE</source>
        <translation>Insert a column to the left</translation>
    </message>
    <message>
        <source>RES_CED_DELETECURRENTROW</source>
        <translation>Delete this row</translation>
    </message>
    <message>
        <source>RES_CED_DELETECURRENTCOLUMN</source>
        <translation>Delete this column</translation>
    </message>
    <message>
        <source>RES_CED_STYLEFONTMENU</source>
        <translation>Style and font</translation>
    </message>
    <message>
        <source>RES_CED_FORMATLAYOUTMENU</source>
        <translation>Format and alignment</translation>
    </message>
    <message>
        <source>RES_CED_RESIZEMENU</source>
        <translation>Size of cells</translation>
    </message>
    <message>
        <source>RES_CED_INSERTDELETEMENU</source>
        <translation>Insert and delete</translation>
    </message>
    <message>
        <source>RES_CED_COLOURPICKER</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>RES_CED_GENERAL</source>
        <translation>General</translation>
    </message>
    <message>
        <source>RES_CED_TEXT</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>RES_CED_NUMBER</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>RES_CED_FRACTION</source>
        <translation>Fraction</translation>
    </message>
    <message>
        <source>RES_CED_PERCENTAGE</source>
        <translation>Percentage</translation>
    </message>
    <message>
        <source>RES_CED_SCIENTIFIC</source>
        <translation>Scientific</translation>
    </message>
    <message>
        <source>RES_CED_CURRENCY</source>
        <translation>Currency</translation>
    </message>
    <message>
        <source>RES_CED_ACCOUNTING</source>
        <translation>Accounting</translation>
    </message>
    <message>
        <source>RES_CED_DATE</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>RES_CED_TIME</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>RES_CED_CUSTOM</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>RES_CED_NEG1</source>
        <translation>-1234</translation>
    </message>
    <message>
        <source>RES_CED_NEG2</source>
        <translation>-1234 in red</translation>
    </message>
    <message>
        <source>RES_CED_NEG3</source>
        <translation>-1234 aligned</translation>
    </message>
    <message>
        <source>RES_CED_NEG4</source>
        <translation>-1234 aligned, in red</translation>
    </message>
    <message>
        <source>RES_CED_DP0</source>
        <translation>No decimals</translation>
    </message>
    <message>
        <source>RES_CED_DP1</source>
        <translation>1 decimal place</translation>
    </message>
    <message>
        <source>RES_CED_DP2</source>
        <translation>2 decimal places</translation>
    </message>
    <message>
        <source>RES_CED_DP3</source>
        <translation>3 decimal places</translation>
    </message>
    <message>
        <source>RES_CED_DP10</source>
        <translation>10 decimal places</translation>
    </message>
    <message>
        <source>RES_CED_NOCOMMAS</source>
        <translation>No thousands separator</translation>
    </message>
    <message>
        <source>RES_CED_COMMAS</source>
        <translation>Thousands separator</translation>
    </message>
    <message>
        <source>RES_CED_FRAC1</source>
        <translation>One digit (1/4)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC2</source>
        <translation>Two digits (21/25)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC3</source>
        <translation>Three digits (312/943)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC4</source>
        <translation>Halves (1/2)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC5</source>
        <translation>Quarters (2/4)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC6</source>
        <translation>Eighths (4/8)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC7</source>
        <translation>Sixteenths (8/16)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC8</source>
        <translation>Tenths (3/10)</translation>
    </message>
    <message>
        <source>RES_CED_FRAC9</source>
        <translation>Hundredths (30/100)</translation>
    </message>
    <message>
        <source>RES_CED_UnitedKingdom_Pound</source>
        <translation>£ (United Kingdom)</translation>
    </message>
    <message>
        <source>RES_CED_UnitedStates_Dollar</source>
        <translation>$ (United States)</translation>
    </message>
    <message>
        <source>RES_CED_Euro</source>
        <translation>€ before</translation>
    </message>
    <message>
        <source>RES_CED_Euro_Alt</source>
        <translation>€ after</translation>
    </message>
    <message>
        <source>RES_CED_Sterling</source>
        <translation>£</translation>
    </message>
    <message>
        <source>RES_CED_FrenchCanada_Dollar</source>
        <translation>$ (French Canada)</translation>
    </message>
    <message>
        <source>RES_CED_UnitedKingdom_Pound_Name</source>
        <translation>GBP</translation>
    </message>
    <message>
        <source>RES_CED_UnitedStates_Dollar_Name</source>
        <translation>USD</translation>
    </message>
    <message>
        <source>RES_CED_Euro_Name</source>
        <translation>EUR</translation>
    </message>
    <message>
        <source>RES_CED_ISO</source>
        <translation>ISO</translation>
    </message>
    <message>
        <source>RES_CED_UnitedKingdom</source>
        <translation>United Kingdom</translation>
    </message>
    <message>
        <source>RES_CED_UnitedStates</source>
        <translation>United States</translation>
    </message>
    <message>
        <source>RES_CED_FrenchCanada</source>
        <translation>French Canada</translation>
    </message>
    <message>
        <source>RES_CED_Local</source>
        <translation>This phone</translation>
    </message>
    <message>
        <source>RES_CED_DATETIMEFORMAT</source>
        <translation>Date and time</translation>
    </message>
    <message>
        <source>RES_CED_DATEFORMAT</source>
        <translation>Short date</translation>
    </message>
    <message>
        <source>RES_CED_LONGDATEFORMAT</source>
        <translation>Long date</translation>
    </message>
    <message>
        <source>RES_CED_TIMEFORMAT</source>
        <translation>Time</translation>
    </message>
</context>
<context>
    <name>DirDialog</name>
    <message>
        <source>RES_DIR_CAPTION</source>
        <translation>Archive</translation>
    </message>
</context>
<context>
    <name>AboutDialog</name>
    <message>
        <source>RES_ABOUT_CAPTION</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>HelpDialog</name>
    <message>
        <source>RES_HELP_CAPTION</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>PrefDialog</name>
    <message>
        <source>RES_PREF_CAPTION</source>
        <translation>Preferences</translation>
    </message>
    <message>
        <source>RES_PREF_SINGLEPAGE</source>
        <translation>Load one page at a time</translation>
    </message>
    <message>
        <source>RES_PREF_CHARENCODING</source>
        <translation>Character encoding</translation>
    </message>
    <message>
        <source>RES_PREF_DEFENCODING</source>
        <translation>Default encoding of plain text:</translation>
    </message>
    <message>
        <source>RES_PREF_AUTOENCODING</source>
        <translation>Detect the encoding</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_ISO88591</source>
        <translation>Western (ISO-8859-1)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_BIG5</source>
        <translation>Traditional Chinese (Big5)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_GBK</source>
        <translation>Simplified Chinese (GBK)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_SHIFTJIS</source>
        <translation>Japanese (Shift_JIS)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_ISO2022JP</source>
        <translation>Japanese (ISO-2022-JP)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_EUCJP</source>
        <translation>Japanese (EUC-JP)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_WINDOWS949</source>
        <translation>Korean (Windows-949)</translation>
    </message>
    <message>
        <source>RES_PREF_ENCODING_UTF8</source>
        <translation>Unicode (UTF-8)</translation>
    </message>
</context>
<context>
    <name>ZPushButton</name>
    <message>
        <source>Menu</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Select</translation>
    </message>
</context>
</TS>
