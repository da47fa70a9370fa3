// The dashboard page: reads the filters, asks the collector for the figures and draws them.
// Every text that came from a television is put in with textContent, never as HTML.
'use strict';
(() => {
  const FILTERS = ['from', 'to', 'country', 'model', 'firmware', 'language'];
  const SATISFACTION = ['Very satisfied', 'Satisfied', 'Somewhat satisfied', 'Neutral',
                        'Somewhat dissatisfied', 'Dissatisfied', 'Very dissatisfied'];
  const COLORS = ['#0b5cad', '#e36209', '#2e7d32'];
  const $ = (id) => document.getElementById(id);
  const charts = {};
  let page = 0;
  let summary = null;
  const sortState = {};

  const pct = (v) => (v === null || v === undefined || Number.isNaN(v)) ? '–' : (v * 100).toFixed(1) + ' %';
  const num = (v, d) => (v === null || v === undefined) ? '–' : v.toFixed(d);
  const day = (d) => d.toISOString().slice(0, 10);

  function params() {
    const p = new URLSearchParams();
    for (const f of FILTERS) if ($(f).value) p.set(f, $(f).value);
    return p;
  }

  async function getJson(url) {
    const res = await fetch(url, {credentials: 'same-origin', headers: {Accept: 'application/json'}});
    if (res.status === 401) { location.assign('/dashboard/login'); throw new Error('signed out'); }
    const body = await res.json();
    if (!res.ok) throw new Error(body.error || res.statusText);
    return body;
  }

  function cell(row, text, header) {
    const c = document.createElement(header ? 'th' : 'td');
    if (header) c.scope = 'row';
    c.textContent = text;
    row.appendChild(c);
    return c;
  }

  function fillTable(id, rows) {
    const body = $(id).tBodies[0];
    body.replaceChildren();
    for (const r of rows) {
      const tr = document.createElement('tr');
      r.forEach((text, i) => cell(tr, String(text), i === 0));
      body.appendChild(tr);
    }
  }

  function setChoices(name, choices, current) {
    const select = $(name);
    select.replaceChildren();
    const all = document.createElement('option');
    all.value = '';
    all.textContent = 'All';
    select.appendChild(all);
    const values = choices.map((c) => c.value);
    if (current && !values.includes(current)) choices = choices.concat([{value: current, surveys: 0}]);
    for (const c of choices) {
      const o = document.createElement('option');
      o.value = c.value;
      o.textContent = (c.value === '' ? '(unknown)' : c.value) + ' (' + c.surveys + ')';
      select.appendChild(o);
    }
    select.value = current;
  }

  function chart(id, config) {
    if (typeof Chart === 'undefined') return;
    if (charts[id]) charts[id].destroy();
    config.options = Object.assign({animation: false, responsive: true, maintainAspectRatio: false}, config.options);
    charts[id] = new Chart($(id), config);
  }

  function figureRow(r) {
    return [r.key === '' ? '(unknown)' : r.key, r.surveys, pct(r.problemSolved), pct(r.q2TopTwo),
            num(r.recommendMean, 2), pct(r.q4TopTwo), pct(r.q5TopTwo)];
  }

  function renderBreakdown(id) {
    const key = id === 't-country' ? 'byCountry' : 'byModel';
    const rows = summary[key].slice();
    const s = sortState[id] || {key: 'surveys', dir: 'descending'};
    const sign = s.dir === 'ascending' ? 1 : -1;
    rows.sort((a, b) => {
      const x = a[s.key], y = b[s.key];
      if (typeof x === 'string') return sign * x.localeCompare(y);
      return sign * ((x === null ? -1 : x) - (y === null ? -1 : y));
    });
    for (const th of $(id).tHead.rows[0].cells)
      th.setAttribute('aria-sort', th.dataset.key === s.key ? s.dir : 'none');
    fillTable(id, rows.map(figureRow));
  }

  function render(s) {
    summary = s;
    const t = s.totals;
    $('k-surveys').textContent = t.surveys;
    $('k-solved').textContent = pct(t.problemSolved);
    $('k-q2').textContent = pct(t.q2TopTwo);
    $('k-q3').textContent = num(t.recommendMean, 2);
    $('k-q4').textContent = pct(t.q4TopTwo);
    $('k-q5').textContent = pct(t.q5TopTwo);
    for (const f of ['country', 'model', 'firmware', 'language']) setChoices(f, s.choices[f], s.filter[f]);

    const unit = s.bucket === 'week' ? 'week' : 'day';
    $('bucket-name').textContent = 'per ' + unit;
    for (const e of document.querySelectorAll('.bucket')) e.textContent = 'per ' + unit;
    for (const e of document.querySelectorAll('.bucket-unit')) e.textContent = unit;
    const labels = s.series.map((b) => b.start);
    chart('c-trend', {type: 'bar', data: {labels, datasets: [{label: 'Surveys', data: s.series.map((b) => b.surveys), backgroundColor: COLORS[0]}]},
                      options: {scales: {y: {beginAtZero: true, ticks: {precision: 0}}}}});
    chart('c-solved', {type: 'line', data: {labels, datasets: [{label: 'Problem solved (%)', borderColor: COLORS[2], backgroundColor: COLORS[2],
                        data: s.series.map((b) => b.problemSolved === null ? null : +(b.problemSolved * 100).toFixed(1)), spanGaps: true}]},
                       options: {scales: {y: {min: 0, max: 100}}}});
    fillTable('t-trend', s.series.map((b) => [b.start, b.surveys, b.problemSolvedAnswered, pct(b.problemSolved)]));

    const d = s.distributions;
    const share = (list, i) => { const n = list.reduce((a, b) => a + b, 0); return n ? list[i] / n : null; };
    chart('c-sat', {type: 'bar', data: {labels: SATISFACTION, datasets: ['q2', 'q4', 'q5'].map((q, k) => ({
                      label: ['Q2 overall', 'Q4 explanations', 'Q5 time taken'][k], backgroundColor: COLORS[k],
                      data: d[q].map((_, i) => share(d[q], i) === null ? 0 : +(share(d[q], i) * 100).toFixed(1))}))},
                    options: {scales: {y: {beginAtZero: true, title: {display: true, text: '% of answers'}}}}});
    const satRows = SATISFACTION.map((label, i) => [label].concat(['q2', 'q4', 'q5'].map((q) => d[q][i] + ' (' + pct(share(d[q], i)) + ')')));
    satRows.push(['Top two (very satisfied or satisfied)', pct(t.q2TopTwo), pct(t.q4TopTwo), pct(t.q5TopTwo)]);
    fillTable('t-sat', satRows);

    // Q3's answers arrive as positions 1..10 for the scores 9..0.
    const scores = [...Array(10).keys()];
    const q3 = scores.map((score) => d.q3[9 - score]);
    chart('c-rec', {type: 'bar', data: {labels: scores.map(String), datasets: [{label: 'Surveys', data: q3, backgroundColor: COLORS[1]}]},
                    options: {scales: {y: {beginAtZero: true, ticks: {precision: 0}}}}});
    const rec = scores.map((score) => [score, q3[score], pct(share(q3, score))]);
    rec.push(['Mean', num(t.recommendMean, 2), '']);
    fillTable('t-rec', rec);

    renderBreakdown('t-country');
    renderBreakdown('t-model');
  }

  async function loadSurveys() {
    const p = params();
    p.set('page', page);
    const r = await getJson('/dashboard/api/surveys?' + p);
    fillTable('t-latest', r.surveys.map((s) => [
      s.received_utc, s.session_id,
      [s.model, s.country, s.firmware, s.duid].filter((x) => x).join(' · '),
      s.q1_problem_solved ?? '–', s.q2_overall_satisfaction ?? '–', s.q3_recommend_0_9 ?? '–',
      s.q4_explanation_satisfaction ?? '–', s.q5_time_satisfaction ?? '–']));
    $('page-label').textContent = 'page ' + (page + 1);
    $('prev').disabled = page === 0;
    $('next').disabled = !r.more;
  }

  async function refresh(resetPage) {
    if (resetPage) page = 0;
    const p = params();
    history.replaceState(null, '', '/dashboard/?' + p);
    $('export-csv').href = '/dashboard/export.csv?' + p;
    $('export-json').href = '/dashboard/export.json?' + p;
    $('status').className = '';
    $('status').textContent = 'Loading…';
    try {
      render(await getJson('/dashboard/api/summary?' + p));
      await loadSurveys();
      $('status').textContent = 'Showing ' + summary.totals.surveys + ' surveys received from ' + summary.filter.from +
                                ' to ' + summary.filter.to + ' (UTC).';
    } catch (e) {
      $('status').className = 'error';
      $('status').textContent = 'Could not load the figures: ' + e.message;
    }
  }

  function preset(kind) {
    const today = new Date();
    let from, to = today;
    if (kind === 'last-month') {
      from = new Date(Date.UTC(today.getUTCFullYear(), today.getUTCMonth() - 1, 1));
      to = new Date(Date.UTC(today.getUTCFullYear(), today.getUTCMonth(), 0));
    } else {
      from = new Date(today.getTime() - (Number(kind) - 1) * 86400000);
    }
    $('from').value = day(from);
    $('to').value = day(to);
    refresh(true);
  }

  function init() {
    const q = new URLSearchParams(location.search);
    const today = new Date();
    $('to').value = q.get('to') || day(today);
    $('from').value = q.get('from') || day(new Date(today.getTime() - 29 * 86400000));
    for (const f of ['country', 'model', 'firmware', 'language']) {
      if (!q.get(f)) continue;
      const o = document.createElement('option');
      o.value = q.get(f);
      o.textContent = q.get(f);
      $(f).appendChild(o);
      $(f).value = q.get(f);
    }
    $('filters').addEventListener('submit', (e) => { e.preventDefault(); refresh(true); });
    for (const b of document.querySelectorAll('[data-preset]')) b.addEventListener('click', () => preset(b.dataset.preset));
    $('prev').addEventListener('click', () => { page = Math.max(0, page - 1); loadSurveys(); });
    $('next').addEventListener('click', () => { page += 1; loadSurveys(); });
    for (const id of ['t-country', 't-model']) {
      for (const th of $(id).tHead.rows[0].cells) {
        const b = document.createElement('button');
        b.type = 'button';
        b.textContent = th.textContent;
        th.replaceChildren(b);
        b.addEventListener('click', () => {
          const s = sortState[id] || {key: 'surveys', dir: 'descending'};
          sortState[id] = {key: th.dataset.key, dir: s.key === th.dataset.key && s.dir === 'descending' ? 'ascending' : 'descending'};
          if (summary) renderBreakdown(id);
        });
      }
    }
    refresh(true);
  }

  init();
})();
