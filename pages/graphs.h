// Qwt pieces shared by the live graphs, the CPU speed dial and the temperature
// bars.
#ifndef GRAPHS_H
#define GRAPHS_H

#include <QString>
#include <QtGlobal>
#include <qwt_text.h>

// Qwt 6 writes scale numbers in the user's locale, so 4800 rpm reads "4,800"
// or "4.800". The scales show plain numbers whatever the locale, as they did
// with Qwt 5. Base is QwtScaleDraw or QwtRoundScaleDraw.
template <typename Base> class PlainScaleDraw : public Base
{
public:
    QwtText label(double value) const override
    {
        // Rounding noise of a computed tick at 0 would print as 1e-15.
        if (qFuzzyCompare(value + 1.0, 1.0))
            value = 0.0;
        return QString::number(value);
    }
};

#endif // GRAPHS_H
