// Form submission, reset, the radio rule and the Enter rules, on forms
// loaded from hand-written HTML. Each submission is caught where the
// document hands it to the application (the open-URL request): its URL,
// request header, body and list of files to insert are compared with
// strings worked out by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text/ustr.h"
#include "document/edr/docmsg.h"
#include "html/forms/websupport.h"
#include "core/time/date.h"
#include "fonts/fontengine.h"
#include "fonts/fontlist.h"
#include "html/forms/controls.h"
#include "html/forms/fileselect.h"
#include "html/forms/form.h"
#include "html/forms/listbox.h"
#include "html/forms/textfield.h"
#include "html/forms/widget.h"
#include "html/forms/widgetclass.h"
#include "html/web/redirect.h"
#include "platform/url/url.h"
#include "tests/html/html_fixture.h"

namespace {

struct Request {
    std::string url, header, body, files;
};

class SubmitTest : public HtmlFixture {
  protected:
    void SetUp() override
    {
        HtmlFixture::SetUp();
        ASSERT_EQ(Form_initModule(ctx()), 0);
        ASSERT_EQ(Font_listCreate(nullptr, nullptr, 0, 0, nullptr, &Form_module(ctx())->font), 0);
    }
    void TearDown() override
    {
        run([this] { Form_freeModule(ctx()); });
        HtmlFixture::TearDown();
    }

    static void onOpen(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *self = static_cast<SubmitTest *>(context);
        auto *m = static_cast<EventProcKind6Msg *>(msg->payload);
        Request r;
        char *text = Url_toUtf8(m->url, UrlPart_all);
        r.url = text ? text : "?";
        Mem_free(text);
        // Request data: the header line with its CR LF, then the body.
        if (m->url->dataType == Url_requestDataType && m->url->data) {
            std::string all(reinterpret_cast<const char *>(m->url->data), m->url->dataLength);
            size_t end = all.find("\r\n");
            end = end == std::string::npos ? all.size() : end + 2;
            r.header = all.substr(0, end);
            r.body = all.substr(end);
        }
        for (const UrlNameValue *v = Url_getNameValues(m->url); v; v = v->next)
            r.files += S(v->name) + "@" + std::to_string(v->value) + ";";
        self->sent.push_back(r);
    }
    static void onQuestion(EngineContext *, EventProcMsg *msg, void *context, int *)
    {
        auto *self = static_cast<SubmitTest *>(context);
        auto *q = static_cast<HostQuestionRecord *>(msg->payload);
        self->asked.push_back(q->words[3] ? reinterpret_cast<const char *>(q->words[3]) : "-");
        *reinterpret_cast<int32_t *>(q->words[0]) = self->answer;
    }

    // From a task: loads html, runs body with the document, and delivers
    // what it sent.
    void withForm(const std::string &html, const std::function<void(Edr_Doc *)> &body)
    {
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, 6, onOpen, this), 0);
        ASSERT_EQ(EventProc_addListener(ctx(), ctx()->eventProc, UserQuestion_messageKind,
                                        onQuestion, this),
                  0);
        Edr_Doc *doc = load(html);
        body(doc);
        flushListeners();
        EXPECT_EQ(EventProc_removeListener(ctx()->eventProc, 6, onOpen, this), 0);
        EXPECT_EQ(
            EventProc_removeListener(ctx()->eventProc, UserQuestion_messageKind, onQuestion, this),
            0);
        flushListeners();
        Edr_Doc_release(doc);
    }

    // The n-th group of the element in document order.
    static Edr_Node *find(Edr_Node *node, uint32_t element, int &n)
    {
        for (Edr_Node *c = Edr_Node_firstChild(node); c; c = Edr_Node_nextSibling(c)) {
            if (Edr_Node_type(c) != Edr_NodeType_group)
                continue;
            if (Edr_Node_group(c)->element == element && n-- == 0)
                return c;
            if (Edr_Node *f = find(c, element, n))
                return f;
        }
        return nullptr;
    }
    static Edr_Node *nth(Edr_Doc *doc, uint32_t element, int n = 0)
    {
        return find(Edr_Doc_root(doc), element, n);
    }
    static FormWidget *widget(Edr_Node *node)
    {
        return node && Edr_Node_subtype(node) == Edr_Subtype_formControl
                   ? static_cast<FormWidget *>(Edr_Node_group(node)->subtypeValue)
                   : nullptr;
    }
    static Edr_Node *form(Edr_Doc *doc, int n = 0)
    {
        return nth(doc, HtmlEl_Form, n);
    }
    static std::string text(FormWidget *w)
    {
        char16_t *t = nullptr;
        EXPECT_EQ(Form_ctlGetValue(w, &t), 0);
        std::string s = t ? S(t) : "(null)";
        Mem_free(t);
        return s;
    }
    static void setText(FormWidget *w, const char16_t *t)
    {
        EXPECT_EQ(Form_textSetText(w, Ustr_dup(t)), 0);
    }

    std::vector<Request> sent;
    std::vector<std::string> asked;
    int32_t answer = 1;
};

// ------------------------------------------------------------ requests

struct Case {
    const char *name;
    const char *html;
    Request want;
};

const Case kCases[] = {
    {"GET replaces the action's query",
     "<form action='http://example.com/cgi?old=1'><input name=q value='a b&c'>"
     "<input type=hidden name=h value=1></form>",
     {"http://example.com/cgi?q=a+b%26c&h=1", "", "", ""}},
    {"GET with nothing to send keeps the query",
     "<form action='http://example.com/cgi?old=1'><input value=x><input type=reset name=r></form>",
     {"http://example.com/cgi?old=1", "", "", ""}},
    {"urlencoded POST",
     "<form method=post action='http://example.com/p'><input name='a b' value='a b&c'>"
     "<input name=e value=''><textarea name=t>x~y*z</textarea></form>",
     {"http://example.com/p", "Content-Type: application/x-www-form-urlencoded\r\n",
      "a+b=a+b%26c&e=&t=x%7Ey*z", ""}},
    {"text/plain POST",
     "<form method=post enctype=text/plain action='http://example.com/p'>"
     "<input name=a value='1 2'><input type=password name=pw value=s></form>",
     {"http://example.com/p", "Content-Type: text/plain\r\n", "a=1 2\r\npw=s\r\n", ""}},
    {"GET ignores the encoding",
     "<form enctype=multipart/form-data action='http://example.com/g'><input name=a "
     "value=1></form>",
     {"http://example.com/g?a=1", "", "", ""}},
    {"nameless and disabled controls send nothing",
     "<form method=post action='http://example.com/p'><input value=nameless>"
     "<input name=off value=1 disabled><input type=checkbox name=c>"
     "<input type=checkbox name=k value=yes checked><input type=radio name=r value=1>"
     "<input type=radio name=r value=2 checked><input type=submit name=s value=Go>"
     "<input type=button name=b value=B></form>",
     {"http://example.com/p", "Content-Type: application/x-www-form-urlencoded\r\n", "k=yes&r=2",
      ""}},
    {"a select with two options selected",
     "<form method=post action='http://example.com/p'><select name=s multiple>"
     "<option value=1 selected>One<option>Two words<option selected>Three</select>"
     "<select name=t><option>first<option>second</select>"
     "<select name=u size=3><option>none</select></form>",
     {"http://example.com/p", "Content-Type: application/x-www-form-urlencoded\r\n",
      "s=1&s=Three&t=first", ""}},
    {"accept-charset UTF-8",
     "<form method=post accept-charset='iso-8859-2, utf-8' action='http://example.com/p'>"
     "<input name=n value='&eacute;&#x20AC;'></form>",
     {"http://example.com/p", "Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\n",
      "n=%C3%A9%E2%82%AC", ""}},
    {"accept-charset without UTF-8 keeps the document's",
     "<form method=post accept-charset='iso-8859-2 koi8-r' action='http://example.com/p'>"
     "<input name=n value='&eacute;'></form>",
     {"http://example.com/p", "Content-Type: application/x-www-form-urlencoded\r\n", "n=%E9", ""}},
};

TEST_F(SubmitTest, FormsSendExactlyTheirRequests)
{
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        sent.clear();
        run([&] {
            withForm(c.html, [&](Edr_Doc *doc) {
                ASSERT_NE(form(doc), nullptr);
                EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
            });
        });
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].url, c.want.url);
        EXPECT_EQ(sent[0].header, c.want.header);
        EXPECT_EQ(sent[0].body, c.want.body);
        EXPECT_EQ(sent[0].files, c.want.files);
    }
}

// The submit button that was activated is sent; the others are not.
TEST_F(SubmitTest, TheActivatedButtonIsSent)
{
    run([&] {
        withForm("<form action='http://example.com/g'><input type=submit name=a value=A>"
                 "<input type=submit name=b value=B><button name=c value=C>Press</button></form>",
                 [&](Edr_Doc *doc) {
                     Edr_Node *b = nth(doc, HtmlEl_Input, 1);
                     EXPECT_EQ(Form_submitWith(doc, form(doc), b), 0);
                     EXPECT_EQ(Form_submitWith(doc, form(doc), nth(doc, HtmlEl_Button)), 0);
                 });
    });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].url, "http://example.com/g?b=B");
    EXPECT_EQ(sent[1].url, "http://example.com/g?c=C");
}

// Image buttons send the click position as name.x and name.y; "12" has no
// comma and sends 0 and 0; a nameless one sends x and y; without a
// position nothing.
TEST_F(SubmitTest, ImageButtonsSendThePosition)
{
    struct {
        const char *html;
        const char16_t *position;
        const char *url;
    } cases[] = {
        {"<input type=image name=map src=x.png>", u"3,17", "http://example.com/g?map.x=3&map.y=17"},
        {"<input type=image name=map src=x.png>", u"12", "http://example.com/g?map.x=0&map.y=0"},
        {"<input type=image src=x.png>", u"5,6", "http://example.com/g?x=5&y=6"},
        {"<input type=image name=map src=x.png>", nullptr, "http://example.com/g"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.html);
        sent.clear();
        run([&] {
            withForm(std::string("<form action='http://example.com/g'>") + c.html + "</form>",
                     [&](Edr_Doc *doc) {
                         FormSubmitter s{nth(doc, HtmlEl_Input), Form_eventActivate, c.position};
                         EXPECT_EQ(Form_submit(doc, form(doc), &s), 0);
                     });
        });
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].url, c.url);
    }
}

// A multipart body: the boundary from the clock, each field a part, the
// file part with its type and an insertion entry just before its last
// CR LF, and the closing delimiter.
TEST_F(SubmitTest, MultipartWithAFile)
{
    std::string boundary;
    run([&] {
        withForm(
            "<form method=post enctype=multipart/form-data action='http://example.com/up'>"
            "<input name=title value='My \"pic\"'><input type=file name=f><input type=file name=g>"
            "<input name=z value=last></form>",
            [&](Edr_Doc *doc) {
                FormFileData *d = Form_fileData(widget(nth(doc, HtmlEl_Input, 1)));
                ASSERT_NE(d, nullptr);
                setText(d->field, u"/home/u/pic.png");
                EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
            });
    });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(asked, std::vector<std::string>{"/home/u/pic.png"});
    const std::string &h = sent[0].header;
    const std::string prefix = "Content-type: multipart/form-data; boundary=";
    ASSERT_EQ(h.compare(0, prefix.size(), prefix), 0) << h;
    boundary = h.substr(prefix.size(), 10);
    EXPECT_EQ(h, prefix + boundary + "\r\n");
    for (char ch : boundary)
        EXPECT_TRUE(ch >= '@' && ch <= 'S') << boundary;
    const std::string b = "--" + boundary + "\r\n";
    const std::string part1 =
        b + "Content-Disposition: form-data; name=\"title\"\r\n\r\nMy \"pic\"\r\n";
    const std::string part2 =
        b + "Content-Disposition: form-data; name=\"f\"; filename=\"/home/u/pic.png\"\r\n"
            "Content-Type: image/png\r\n\r\n\r\n";
    const std::string part3 = b + "Content-Disposition: form-data; name=\"g\"; filename=\"\"\r\n"
                                  "Content-Type: application/octet-stream\r\n\r\n\r\n";
    const std::string part4 = b + "Content-Disposition: form-data; name=\"z\"\r\n\r\nlast\r\n";
    EXPECT_EQ(sent[0].body, part1 + part2 + part3 + part4 + "--" + boundary + "--\r\n");
    // The file's bytes go before the CR LF that ends its part.
    EXPECT_EQ(sent[0].files,
              "/home/u/pic.png@" + std::to_string(part1.size() + part2.size() - 2) + ";");
}

// A file part beyond the first 64 KiB of the body keeps its whole offset.
TEST_F(SubmitTest, FileOffsetsBeyondSixteenBits)
{
    std::string big(70000, 'x');
    run([&] {
        withForm("<form method=post enctype=multipart/form-data action='http://example.com/up'>"
                 "<input type=hidden name=t><input type=file name=f></form>",
                 [&](Edr_Doc *doc) {
                     std::u16string text(big.begin(), big.end());
                     EXPECT_EQ(Form_ctlSetValue(widget(nth(doc, HtmlEl_Input)), text.c_str(),
                                                text.size()),
                               0);
                     setText(Form_fileData(widget(nth(doc, HtmlEl_Input, 1)))->field, u"b.bin");
                     EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
                 });
    });
    ASSERT_EQ(sent.size(), 1u);
    size_t at = sent[0].body.find("filename=\"b.bin\"");
    ASSERT_NE(at, std::string::npos);
    size_t end = sent[0].body.find("\r\n\r\n\r\n", at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_GT(end, 65536u);
    EXPECT_EQ(sent[0].files, "b.bin@" + std::to_string(end + 4) + ";");
}

// The user may refuse to send a file: answer 2 leaves the control out,
// answer 0 ends the submission without sending anything.
TEST_F(SubmitTest, TheFileQuestionDecides)
{
    for (int32_t a : {2, 0}) {
        SCOPED_TRACE(a);
        sent.clear();
        asked.clear();
        answer = a;
        run([&] {
            withForm("<form method=post action='http://example.com/up'><input type=file name=f>"
                     "<input name=t value=1></form>",
                     [&](Edr_Doc *doc) {
                         setText(Form_fileData(widget(nth(doc, HtmlEl_Input)))->field, u"a.txt");
                         EXPECT_EQ(Form_submit(doc, form(doc), nullptr),
                                   a ? 0 : int(Res_formFileRefused));
                     });
        });
        EXPECT_EQ(asked.size(), 1u);
        if (a) {
            ASSERT_EQ(sent.size(), 1u);
            EXPECT_EQ(sent[0].body, "t=1");
        } else {
            EXPECT_TRUE(sent.empty());
        }
    }
}

// A multipart POST with nothing to send has an empty body and no closing
// delimiter; names with a double quote have it escaped.
TEST_F(SubmitTest, MultipartEdges)
{
    run([&] {
        withForm("<form method=post enctype=multipart/form-data action='http://example.com/up'>"
                 "<input type=checkbox name=c></form>"
                 "<form method=post enctype=multipart/form-data accept-charset=utf-8 "
                 "action='http://example.com/up'>"
                 "<input name='a\"b' value=v></form>",
                 [&](Edr_Doc *doc) {
                     EXPECT_EQ(Form_submit(doc, form(doc, 0), nullptr), 0);
                     EXPECT_EQ(Form_submit(doc, form(doc, 1), nullptr), 0);
                 });
    });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].body, "");
    EXPECT_EQ(sent[0].header.size(),
              std::string("Content-type: multipart/form-data; boundary=0123456789\r\n").size());
    std::string boundary = sent[1].header.substr(44, 10);
    EXPECT_EQ(sent[1].header,
              "Content-type: multipart/form-data; boundary=" + boundary + "; charset=UTF-8\r\n");
    EXPECT_EQ(sent[1].body,
              "--" + boundary +
                  "\r\nContent-Disposition: form-data; name=\"a%22b\"\r\n\r\nv\r\n--" + boundary +
                  "--\r\n");
}

// A boundary that occurs in a value being sent is replaced by another.
TEST_F(SubmitTest, TheBoundaryNeverOccursInTheData)
{
    run([&] {
        withForm("<form method=post enctype=multipart/form-data action='http://example.com/up'>"
                 "<input name=a value=x></form>",
                 [&](Edr_Doc *doc) {
                     // The clock's boundary for this second, and the next few.
                     std::u16string values;
                     for (int64_t d = 0; d < 3; d++) {
                         uint64_t s = uint64_t(Date_now(nullptr) + d);
                         for (int i = 0; i < 10; i++, s /= 20)
                             values += char16_t('@' + s % 20);
                         values += u' ';
                     }
                     EXPECT_EQ(Form_ctlSetValue(widget(nth(doc, HtmlEl_Input)), values.c_str(),
                                                values.size()),
                               0);
                     EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
                 });
    });
    ASSERT_EQ(sent.size(), 1u);
    std::string boundary = sent[0].header.substr(44, 10);
    for (char ch : boundary)
        EXPECT_TRUE(ch >= '@' && ch <= 'S') << boundary;
    std::string body = sent[0].body;
    // The boundary shows only in its delimiter lines.
    size_t count = 0;
    for (size_t at = body.find(boundary); at != std::string::npos; at = body.find(boundary, at + 1))
        count++;
    EXPECT_EQ(count, 2u) << body;
}

// A long charset name is not cut from the header.
TEST_F(SubmitTest, TheHeaderHoldsALongCharsetName)
{
    run([&] {
        withForm(
            "<meta charset=iso-8859-1><form method=post enctype=multipart/form-data "
            "accept-charset=utf-8 action='http://example.com/up'><input name=a value=1></form>",
            [&](Edr_Doc *doc) {
                // The document's charset differs from the form's.
                EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
            });
    });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].header.substr(54), "; charset=UTF-8\r\n");
}

// ---------------------------------------------------------------- reset

TEST_F(SubmitTest, ResetGivesBackTheDefaults)
{
    run([&] {
        withForm("<form action='http://example.com/g'><input name=t value=start>"
                 "<input type=checkbox name=c checked><input type=checkbox name=d>"
                 "<input type=radio name=r value=1 checked><input type=radio name=r value=2>"
                 "<select name=s><option>a<option selected>b<option>c</select>"
                 "<textarea name=ta>first\nlines</textarea><input type=reset></form>",
                 [&](Edr_Doc *doc) {
                     FormWidget *t = widget(nth(doc, HtmlEl_Input, 0));
                     FormWidget *c = widget(nth(doc, HtmlEl_Input, 1));
                     FormWidget *d = widget(nth(doc, HtmlEl_Input, 2));
                     FormWidget *r2 = widget(nth(doc, HtmlEl_Input, 4));
                     FormWidget *s = widget(nth(doc, HtmlEl_Select));
                     FormWidget *ta = widget(nth(doc, HtmlEl_Textarea));
                     setText(t, u"typed");
                     setText(ta, u"other");
                     EXPECT_EQ(Form_ctlSetChecked(c, 0), 0);
                     EXPECT_EQ(Form_ctlSetChecked(d, 1), 0);
                     EXPECT_EQ(Form_ctlSetChecked(r2, 1), 0);
                     EXPECT_EQ(Form_radioRule(doc, nth(doc, HtmlEl_Input, 4)), 0);
                     FormWidget *options[3];
                     for (uint32_t i = 0; i < 3; i++)
                         options[i] = widget(nth(doc, HtmlEl_Option, int(i)));
                     EXPECT_EQ(Form_ctlSetChecked(options[1], 0), 0);
                     EXPECT_EQ(Form_ctlSetChecked(options[2], 1), 0);
                     EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
                     // The reset button's activation resets the form.
                     int handled = 0;
                     FormControlEvent e{nth(doc, HtmlEl_Input, 5), Form_eventActivate, nullptr};
                     EXPECT_EQ(Form_controlEvent(doc, &e, &handled), 0);
                     EXPECT_EQ(handled, 1);
                     EXPECT_EQ(text(t), "start");
                     EXPECT_EQ(text(ta), "first\nlines");
                     EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
                     (void)s;
                 });
    });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].url, "http://example.com/g?t=typed&d=on&r=2&s=c&ta=other");
    EXPECT_EQ(sent[1].url, "http://example.com/g?t=start&c=on&r=1&s=b&ta=first%0Alines");
}

// Checking a radio button unchecks the others of its name in its form,
// and only those.
TEST_F(SubmitTest, TheRadioRule)
{
    run([&] {
        withForm(
            "<form action='http://example.com/g'><input type=radio name=r value=1 checked>"
            "<input type=radio name=r value=2 checked><input type=radio name=q value=3 checked>"
            "</form><form><input type=radio name=r value=4 checked></form>",
            [&](Edr_Doc *doc) {
                // The later checked one won while loading.
                int on[4];
                for (int i = 0; i < 4; i++)
                    Form_ctlIsChecked(widget(nth(doc, HtmlEl_Input, i)), &on[i]);
                EXPECT_EQ(on[0], 0);
                EXPECT_EQ(on[1], 1);
                EXPECT_EQ(on[2], 1);
                EXPECT_EQ(on[3], 1);
                EXPECT_EQ(Form_ctlSetChecked(widget(nth(doc, HtmlEl_Input, 0)), 1), 0);
                int handled = 0;
                FormControlEvent e{nth(doc, HtmlEl_Input, 0), Form_eventChange, nullptr};
                EXPECT_EQ(Form_controlEvent(doc, &e, &handled), 0);
                EXPECT_EQ(handled, 1);
                for (int i = 0; i < 4; i++)
                    Form_ctlIsChecked(widget(nth(doc, HtmlEl_Input, i)), &on[i]);
                EXPECT_EQ(on[0], 1);
                EXPECT_EQ(on[1], 0);
                EXPECT_EQ(on[2], 1);
                EXPECT_EQ(on[3], 1);
                EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
            });
    });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].url, "http://example.com/g?r=1&q=3");
}

// Enter in a text field: a form with one text field and no submit button
// submits; with two text fields it does not; one submit button is pressed
// (its events are posted); one image button submits.
TEST_F(SubmitTest, TheEnterRules)
{
    struct {
        const char *html;
        size_t sends;
    } cases[] = {
        {"<input name=a value=1>", 1},
        {"<input name=a value=1><input name=b value=2>", 0},
        {"<input name=a value=1><input name=b value=2><input type=image name=i src=x.png>", 1},
        {"<input name=a value=1><input type=submit name=s><input type=submit name=t>", 1},
        {"<input name=a value=1><input name=b><input type=submit name=s><input type=submit name=t>",
         0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.html);
        sent.clear();
        run([&] {
            withForm(std::string("<form action='http://example.com/g'>") + c.html + "</form>",
                     [&](Edr_Doc *doc) {
                         int handled = 0;
                         FormControlEvent e{nth(doc, HtmlEl_Input), Form_eventActivate, nullptr};
                         EXPECT_EQ(Form_controlEvent(doc, &e, &handled), 0);
                         EXPECT_EQ(handled, 1);
                     });
        });
        EXPECT_EQ(sent.size(), c.sends);
        if (c.sends) {
            EXPECT_EQ(sent[0].url.substr(0, 22), "http://example.com/g?a");
        }
    }
}

// One submit button and Enter: the button is pressed as by the pointer,
// the events going to its node.
TEST_F(SubmitTest, EnterPressesTheOneSubmitButton)
{
    run([&] {
        withForm("<form action='http://example.com/g'><input name=a value=1><input name=b value=2>"
                 "<input type=submit name=s value=S></form>",
                 [&](Edr_Doc *doc) {
                     int handled = 0;
                     FormControlEvent e{nth(doc, HtmlEl_Input), Form_eventActivate, nullptr};
                     EXPECT_EQ(Form_controlEvent(doc, &e, &handled), 0);
                     EXPECT_EQ(handled, 1);
                 });
    });
    // Nothing is sent at once: the press comes back as node events.
    EXPECT_TRUE(sent.empty());
}

// A control outside the form's element joins it as an associated control:
// it is sent after the form's own controls, finds its form, and leaves
// again when removed.
TEST_F(SubmitTest, AssociatedControls)
{
    run([&] {
        withForm("<input name=before value=0><form action='http://example.com/g'><input name=in "
                 "value=1></form>"
                 "<input name=out value=2>",
                 [&](Edr_Doc *doc) {
                     Edr_Node *out = nth(doc, HtmlEl_Input, 2);
                     Edr_Node *before = nth(doc, HtmlEl_Input, 0);
                     EXPECT_EQ(Form_addControl(doc, form(doc), out), 0);
                     EXPECT_EQ(Form_addControl(doc, form(doc), before), 0);
                     Edr_Node *owner = nullptr;
                     ASSERT_EQ(Form_ofControl(doc, out, &owner), 0);
                     EXPECT_EQ(owner, form(doc));
                     Edr_Node_release(doc, owner);
                     EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
                     EXPECT_EQ(Form_removeControl(doc, out), 0);
                     ASSERT_EQ(Form_ofControl(doc, out, &owner), 0);
                     EXPECT_EQ(owner, nullptr);
                     EXPECT_EQ(Form_submit(doc, form(doc), nullptr), 0);
                     // A freed slot is taken again first.
                     EXPECT_EQ(Form_addControl(doc, form(doc), out), 0);
                     Edr_Doc_readLock(doc);
                     FormRecord *r = Form_recordOf(form(doc));
                     EXPECT_EQ(r->count, 2u);
                     EXPECT_EQ(r->controls[0], out);
                     Edr_Doc_readUnlock(doc);
                 });
    });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].url, "http://example.com/g?in=1&out=2&before=0");
    EXPECT_EQ(sent[1].url, "http://example.com/g?in=1&before=0");
}

// Controls and forms of a document: records, attributes and targets.
TEST_F(SubmitTest, FormAttributesAndTargets)
{
    run([&] {
        withForm("<form method=POST enctype=TEXT/PLAIN accept-charset=utf-8 target=side "
                 "action='http://example.com/a'></form><p>",
                 [&](Edr_Doc *doc) {
                     Url *action = nullptr;
                     uint32_t method = 0, encoding = 0;
                     char16_t *accept = nullptr, *second = nullptr, *target = nullptr;
                     ASSERT_EQ(Form_getAttributes(doc, form(doc), &action, &method, &encoding,
                                                  &accept, &second),
                               0);
                     char *a = Url_toUtf8(action, UrlPart_all);
                     EXPECT_STREQ(a, "http://example.com/a");
                     Mem_free(a);
                     Url_free(action);
                     EXPECT_EQ(method, 2u);
                     EXPECT_EQ(encoding, 3u);
                     EXPECT_EQ(S(accept), "utf-8");
                     EXPECT_EQ(second, nullptr);
                     Mem_free(accept);
                     ASSERT_EQ(Form_getTarget(doc, form(doc), &target), 0);
                     EXPECT_EQ(S(target), "side");
                     Mem_free(target);
                     EXPECT_EQ(Form_getFlag(doc, form(doc)), 1u);
                     EXPECT_EQ(Form_getAttributes(doc, nth(doc, HtmlEl_P), nullptr, nullptr,
                                                  nullptr, nullptr, nullptr),
                               int(Res_formNoRecordQuery));
                     EXPECT_EQ(doc->currentForm, nullptr);
                 });
    });
}

} // namespace
