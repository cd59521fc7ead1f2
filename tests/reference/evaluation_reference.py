#!/usr/bin/env python3
"""Independent reference for the two worked evaluations in tests/core/evaluation.

Written from the evaluation's description alone, in another language, without the C++ code:
it prints the 13 lines each example must produce (line 1 without its file name and date, which
the test adds). Python floats are IEEE doubles and use the same libm, so following the same
order of operations gives the same digits.
"""
import math

RIGHT = 1.570796326794895
DEG = 57.29577951308238


def atan_ratio(num, den):
    if abs(den) > 1e-13:
        return math.atan(num / den)
    return RIGHT if num >= 0 else -RIGHT


def arc_sin(s):
    if s >= 1:
        return RIGHT
    return math.atan(s / math.sqrt(1 - s * s))


def solve(A):
    """Gauss-Jordan with partial pivoting, ties keep the upper row; solution in column n."""
    n = len(A)
    hc = len(A[0]) - 1
    for a in range(n):
        piv, big = a, abs(A[a][a])
        for k in range(a + 1, n):
            if abs(A[k][a]) > big:
                piv, big = k, abs(A[k][a])
        if big < 1e-13:
            raise ValueError("singular")
        if piv != a:
            for l in range(a, hc + 1):
                A[a][l], A[piv][l] = A[piv][l], A[a][l]
        p = A[a][a]
        for l in range(a, hc + 1):
            A[a][l] = A[a][l] / p
        for k in range(a + 1, n):
            f = A[k][a]
            for l in range(a + 1, hc + 1):
                A[k][l] = A[k][l] - f * A[a][l]
    for i in range(n - 1, -1, -1):
        for j in range(0, i):
            f = A[j][i]
            for k in range(i, hc + 1):
                A[j][k] = A[j][k] - f * A[i][k]
    return [A[i][n] for i in range(n)]


def intersect(l1, l2):
    (p0, p1), (q0, q1) = l1, l2
    A = [[p1[0] - p0[0], q0[0] - q1[0], q0[0] - p0[0]],
         [p1[1] - p0[1], q0[1] - q1[1], q0[1] - p0[1]]]
    s = solve(A)[0]
    return (p0[0] + s * (p1[0] - p0[0]), p0[1] + s * (p1[1] - p0[1]))


def plane_distance(line, q, r):
    p0, p1 = line
    u = (p1[0] - p0[0], p1[1] - p0[1], 0.0)
    v = (q[0] - p0[0], q[1] - p0[1], q[2])
    n = (u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0])
    w = (r[0] - p0[0], r[1] - p0[1], r[2])
    A = [[u[i], v[i], n[i], w[i]] for i in range(3)]
    g = solve(A)[2]
    return abs(g * math.sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]))


def point_at_height(q, r, h):
    k = h / r[2]
    return ((r[0] - q[0]) * k + q[0], (r[1] - q[1]) * k + q[1], h)


def grid(X0, Y0, x1, y1):
    dx, dy = x1 - X0, y1 - Y0
    nx, ny = dy, -dx
    return {
        'H_B': ((X0, Y0), (x1, y1)),
        'H_M': ((X0 + 0.5 * nx, Y0 + 0.5 * ny), (x1 + 0.5 * nx, y1 + 0.5 * ny)),
        'H_T': ((X0 + nx, Y0 + ny), (x1 + nx, y1 + ny)),
        'V_L': ((X0, Y0), (X0 + nx, Y0 + ny)),
        'V_M': ((X0 + 0.5 * dx + 0.25 * nx, Y0 + 0.5 * dy + 0.25 * ny),
                (X0 + 0.5 * dx + 0.75 * nx, Y0 + 0.5 * dy + 0.75 * ny)),
        'V_F': ((X0 + 0.75 * dx, Y0 + 0.75 * dy), (X0 + 0.75 * dx + nx, Y0 + 0.75 * dy + ny)),
        'V_R': ((x1, y1), (x1 + nx, y1 + ny)),
    }


def focus_from_size(rho, R):
    out = []
    for d in (180.0, 270.0):
        z = rho * math.tan(atan_ratio(d, rho) + arc_sin(R / math.sqrt(rho * rho + d * d)))
        if z < 900:
            z, h = 900.0, 900 - R * math.sqrt(rho * rho + 810000) / rho
        elif z > 1300:
            z, h = 1300.0, 1300 - R * math.sqrt(rho * rho + 1690000) / rho
        else:
            h = z - R * math.sqrt(rho * rho + z * z) / rho
        out.append((z, h))
    return out


def g(x):
    return '0' if x == 0 else '%.15g' % x


def evaluate(ex):
    s = ex['scale']
    H = ex['height']
    wx = lambda x: x / s
    wy = lambda y: (H - y) / s
    lines = dict(ex['grid'])
    lines.update(ex.get('extra', {}))
    b0, b1 = lines['H_B']
    O = (wx(b0[0]), wy(b0[1]))
    D = (wx(b1[0]) - wx(b0[0]), wy(b1[1]) - wy(b0[1]))
    alpha = atan_ratio(D[1], D[0])
    I = intersect(lines['H_M'], lines['V_M'])
    B = ((ex['width'] / 2 + I[0]) / 2, (H / 2 + I[1]) / 2)
    sa, ca = math.sin(alpha), math.cos(alpha)

    def tp(p):
        x = wx(p[0]) - O[0]
        y = wy(p[1]) - O[1]
        return (x * ca + y * sa, y * ca - x * sa)

    T = {k: (tp(a), tp(b)) for k, (a, b) in lines.items()}
    B = tp(B)
    head = tp(ex['head'][0]) if 'head' in ex else None
    head_r = ex['head'][1] / s if 'head' in ex else 0
    cup = tp(ex['cup'][0]) if 'cup' in ex else None
    cup_r = ex['cup'][1] / s if 'cup' in ex else 0
    rim = [tp(p) for p in ex['rim']] if 'rim' in ex else None

    F = T['V_F'][0][0]
    S = T['V_F'][0][0] > T['V_M'][0][0]
    for x in [head and head[0], cup and cup[0], rim and rim[0][0]]:
        if x is not None:
            assert (x > F) == S, 'side'
    if 'Ruler' in ex.get('extra', {}):
        assert ((T['Ruler'][1][0] + T['Ruler'][0][0]) / 2 > F) == S

    typ, focH = ex['typ'], ex['focH']
    head_based = typ == 9 or typ < 6
    rho, R = (head_r, ex['headTR']) if head_based else (cup_r, ex['cupTR'])
    rf = rho / R
    if focH != 0:
        h = focH - math.sqrt(focH * focH + rho * rho) * R / rho
        F1 = F2 = (B[0], B[1], focH)
        h1 = h2 = h
    else:
        focH = 1100.0
        (z1, h1), (z2, h2) = focus_from_size(rho, R)
        F1, F2 = (B[0], B[1], z1), (B[0], B[1], z2)
    assert h1 > 0 and h2 > 0

    def migration(P):
        X1 = point_at_height(P, F1, h1)
        X2 = point_at_height(P, F2, h2)
        m = lambda L: (plane_distance(L, F2, X2) + plane_distance(L, F1, X1)) / 2
        return m(T['H_B']), m(T['V_F']), m(T['H_T'])

    headv = cupv = None
    if head_based:
        headv = migration(head)
        if rim is not None:
            cupv = migration(rim[0])
    else:
        cupv = migration(cup)
        if head is not None:
            headv = migration(head)

    rimres = None
    if typ not in (9, 6, 3) and rim is not None:
        M0, M1, M2, M3 = rim
        d = (B[0] - M3[0], B[1] - M3[1], focH)
        m = (M3[0] - M0[0], M3[1] - M0[1], 0.0)
        hh = ((M2[0] - M1[0]) / 2, (M2[1] - M1[1]) / 2, 0.0)
        dot = lambda u, v: u[0] * v[0] + u[1] * v[1] + u[2] * v[2]
        dd, md = dot(d, d), dot(m, d)
        delta = md * md - (dot(m, m) - dot(hh, hh)) * dd
        assert delta >= 0
        ts = ((math.sqrt(delta) - md) / dd, (-md - math.sqrt(delta)) / dd)
        betas, flags = [], []
        for t in ts:
            Q = (m[0] + t * d[0], m[1] + t * d[1], m[2] + t * d[2])
            n = (-Q[2] * hh[1], Q[2] * hh[0], Q[0] * hh[1] - Q[1] * hh[0])
            ln = math.sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2])
            n = (n[0] / ln, n[1] / ln, n[2] / ln)
            betas.append(arc_sin(abs(n[2])) * DEG)
            r = -n[0] / n[2]
            flags.append((r > 0 and S) or (r < 0 and not S))
        if flags[0] == flags[1]:
            ante = betas[1] if abs(betas[1] - 10) < abs(betas[0] - 10) else betas[0]
        else:
            ante = betas[1] if flags[0] else betas[0]
        rimres = (ante, betas[0], '-' if flags[0] else '+', betas[1], '-' if flags[1] else '+')

    if 'Ruler' in ex.get('extra', {}):
        v = (T['Ruler'][1][0] - T['Ruler'][0][0], T['Ruler'][1][1] - T['Ruler'][0][1])
    elif rim is not None:
        v = (rim[2][0] - rim[1][0], rim[2][1] - rim[1][1])
    else:
        v = None
    incl = abs(atan_ratio(v[1], v[0]) * DEG) if v else None

    Fx, Lx, Rx = T['V_F'][0][0], T['V_L'][0][0], T['V_R'][0][0]
    if S:
        delx = (Fx - Rx, Lx - Fx, Lx - Rx)
    else:
        delx = (Fx - Lx, Rx - Fx, Rx - Lx)
    By, My, Ty = T['H_B'][0][1], T['H_M'][0][1], T['H_T'][0][1]
    dely = (My - By, Ty - My, Ty - By)

    wear = None
    if head is not None and (cup is not None or rim is not None):
        P = cup if cup is not None else rim[0]
        wear = ((head[0] - P[0]) / rf, (head[1] - P[1]) / rf)
        if S:
            wear = (-wear[0], wear[1])

    q = lambda t: '"%s"' % t
    out = [
        '"-------> OXEL DIGITAL 1995  File: <FILE>",#<DATE>#',
        ','.join(q(x) for x in (ex['famname'], ex['vorname'], ex['code'])),
        '"date of radiogram",%s' % q(ex['datum']),
        '"side of replacement",%s' % q('L' if S else 'R'),
        ('"head migration (cranial/medial)",%s,%s' % (g(headv[0]), g(headv[1]))) if headv else '"nodata",0,0',
        ('"cup migration (cranial/medial)",%s,%s' % (g(cupv[0]), g(cupv[1]))) if cupv else '"nodata",0,0',
    ]
    if incl is None:
        out.append('"nodata",0,"nodata",0')
    elif rimres:
        out.append('"cup inclination",%s,"anteversion",%s' % (g(incl), g(rimres[0])))
    else:
        out.append('"cup inclination",%s,"nodata",0' % g(incl))
    if rimres:
        out.append('"beta1/cup axis",%s,"%s","beta2/cup axis",%s,"%s"' % (g(rimres[1]), rimres[2], g(rimres[3]), rimres[4]))
    else:
        out.append('"beta1/cup axis",0,"","beta2/cup axis",0,""')
    out.append('"antiparameter (head)",%s,"antiparameter (cup)",%s' % (g(headv[2] if headv else 0), g(cupv[2] if cupv else 0)))
    out.append('"delx1",%s,"delx2",%s,"delx3",%s' % tuple(g(x) for x in delx))
    out.append('"dely1",%s,"dely2",%s,"dely3",%s' % tuple(g(x) for x in dely))
    out.append('"evaluation type",%d,"SL-flag",%d' % (typ, 1 if ex['sl'] else 0))
    if wear:
        out.append('"not used",0,0,"wear x/y",%s,%s,"radiofactor",%s' % (g(wear[0]), g(wear[1]), g(rf)))
    else:
        out.append('"not used",0,0,"nodata",0,0,"radiofactor",%s' % g(rf))
    return out


HEAD_BASED = {
    'width': 2000, 'height': 1600, 'scale': 2000 / 400.0,
    'grid': grid(400, 1200, 1400, 1200),
    'head': ((1250, 800), 80.0),
    'rim': [(1260, 790), (1340, 730), (1180, 850), (1284, 822)],
    'typ': 1, 'sl': False, 'headTR': 14.0, 'cupTR': 18.0, 'focH': 1150.0,
    'famname': 'Müller', 'vorname': 'Anna', 'code': 'S-17', 'datum': '20240115',
}

CUP_BASED = {
    'width': 2400, 'height': 2400, 'scale': 2400 / 400.0,
    'grid': grid(1600, 1250, 600, 1150),
    'extra': {'Ruler': ((500, 1700), (650, 1620))},
    'head': ((760, 1450), 99.0),
    'cup': ((700, 1500), 172.2),
    'rim': [(705, 1495), (841, 1393), (569, 1597), (741, 1543)],
    'typ': 7, 'sl': True, 'headTR': 14.0, 'cupTR': 24.0, 'focH': 0.0,
    'famname': 'Okafor', 'vorname': 'Chidi', 'code': 'HIP-0042', 'datum': '19991231',
}

if __name__ == '__main__':
    for name, ex in (('head-based', HEAD_BASED), ('cup-based', CUP_BASED)):
        print('#', name)
        for line in evaluate(ex):
            print(line)
