#pragma once

#include "vtkit/cdbase.h"

// The sample codes of the data folder and what each resolves to (the
// table of the README).
struct SampleCode {
    const char* m_code;
    VTCodeType m_type;
    const char* m_sid;
    const char* m_iid;
    // The description command the routing key offers: "DESC", "DESC2" or none.
    const char* m_command;
    const char* m_description;
    // What an XDESC reply carries as CANONICAL (the line form has none).
    const char* m_canonical;
};

inline const SampleCode kSamples[] = {
    {"036000291452", kCodeUpcA, "036000", "29145", "DESC", "Oat Crunch cereal, 500 g", "0 36000 29145 2"},
    {"0-36000-29145-2", kCodeUpcA, "036000", "29145", "DESC", "Oat Crunch cereal, 500 g", "0 36000 29145 2"},
    {"04252614", kCodeUpcE, "042100", "00526", "DESC", "Pretzel bites, 60 g", "0 425261 4"},
    {"042100005264", kCodeUpcA, "042100", "00526", "DESC", "Pretzel bites, 60 g", "0 425261 4"},
    {"4006381333931", kCodeEan13, "4006381", "33393", "DESC2", "Fine-liner pen, black", ""},
    {"4006381123457", kCodeEan13, "4006381", "12345", "DESC2", "Highlighter, yellow", ""},
    {"96385074", kCodeEan8, "9638", "507", "DESC2", "Green tea, 20 bags", ""},
    {"080442957X", kCodeIsbn, "08044", "2957", "DESC", "Field Guide to Printed Codes", "0-804429-57-X"},
    {"9780306406157", kCodeBookLand, "030640", "615", "DESC", "Handbook of Linked Print",
     "978-0-306-40615-7"},
    {"42", kCodeNumi, "NUMI", "42", "DESC2", "Weekly offers", ""},
    {"7", kCodeNumi, "NUMI", "7", "DESC2", "Store finder", ""},
    {"PRINTSHOP/SPRING", kCodeVanity, "PRINTSHOP", "SPRING", "DESC", "Print Shop spring catalogue",
     "PrintShop/Spring"},
    {"printshop/spring", kCodeVanity, "printshop", "spring", "DESC", "Print Shop spring catalogue",
     "PrintShop/Spring"},
    {"PRINTSHOP", kCodeVanity, "PRINTSHOP", "", "DESC", "Print Shop home page", "PrintShop"},
    {"687813053406", kCodeVantrel, "12345", "678", "DESC", "Article: linking print to the web",
     "6878-1305-3406"},
    {"237659", kCodeVantrel, "1", "5", "", "Short link 5", ""},
};
