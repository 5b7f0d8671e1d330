#include "output/output.h"
#include "main/trace.h"

#include <stddef.h>
#include <stdio.h>

namespace {

// One report form: an entry format per section. The JSON form also frames each section and
// passes a separator ("," or "") as the third argument; the other forms ignore it.
struct form {
    const char *temp;
    const char *fan;
    const char *volt;
    bool json;
};

constexpr form plain = {"%-20s %8zu C\n", "%-20s %8u RPM\n", "%-20s %8.3f V\n", false};
constexpr form delim = {"%s,%zu,C\n", "%s,%u,RPM\n", "%s,%.3f,V\n", false};
constexpr form json = {"\t\t\"%s\": \"%zu C\"%s\n", "\t\t\"%s\": \"%u RPM\"%s\n",
                       "\t\t\"%s\": \"%.3f V\"%s\n", true};

const char *separator(const form &f, const sensor_label *next) {
    return f.json && next->label != nullptr ? "," : "";
}

// The format strings are the constant tables above; each is checked against its argument
// types here, section by section.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-extra-args"

void print_report(const form &f, const boards *b, const sdata *s) {
    if (f.json)
        fputs("{\n\t\"temps\": {\n", stdout);
    for (const sensor_label *l = b->temps; l->label != nullptr; l++)
        printf(f.temp, l->label, static_cast<size_t>(s->temps[l->index]), separator(f, l + 1));
    if (f.json)
        fputs("\t},\n\t\"fans\": {\n", stdout);
    for (const sensor_label *l = b->fans; l->label != nullptr; l++)
        printf(f.fan, l->label, static_cast<unsigned>(s->fans[l->index]), separator(f, l + 1));
    if (f.json)
        fputs("\t},\n\t\"voltages\": {\n", stdout);
    for (const sensor_label *l = b->voltages; l->label != nullptr; l++)
        printf(f.volt, l->label, s->voltages[l->index], separator(f, l + 1));
    if (f.json)
        fputs("\t}\n}\n", stdout);
}

#pragma GCC diagnostic pop

} // namespace

void sensors_output(const boards *b, const sdata *s) {
    debug_print("sensors_output(b = %p, s = %p)\n", static_cast<const void *>(b),
                static_cast<const void *>(s));
    print_report(plain, b, s);
    debug_print("sensors_output() returning\n");
}

void sensors_output_delim(const boards *b, const sdata *s) {
    debug_print("sensors_output_delim(b = %p, s = %p)\n", static_cast<const void *>(b),
                static_cast<const void *>(s));
    print_report(delim, b, s);
    debug_print("sensors_output_delim() returning\n");
}

void sensors_output_json(const boards *b, const sdata *s) {
    debug_print("sensors_output_json(b = %p, s = %p)\n", static_cast<const void *>(b),
                static_cast<const void *>(s));
    print_report(json, b, s);
    debug_print("sensors_output_json() returning\n");
}
