// Validates a SARIF log against the SARIF 2.1.0 schema with ajv, then prints
// what it tells as the checker's text output tells it, the URIs read back as
// paths:
//   PATH:LINE: LEVEL: TEXT [-WRULE]   a result (the rule for a warning's)
//   PATH:LINE: note: TEXT             a related location
//   unread PATH: TEXT                 a tool notification
//   successful: true|false
//   node validate_sarif.js SCHEMA.json LOG.json
'use strict';
const fs = require('fs');
const url = require('url');
const Ajv = require('ajv');

const [schemaPath, logPath] = process.argv.slice(2);
const schema = JSON.parse(fs.readFileSync(schemaPath, 'utf8'));
const log = JSON.parse(fs.readFileSync(logPath, 'utf8'));
// The schema is written in draft 4, whose identifier key is "id".
const ajv = new Ajv({ schemaId: 'auto', allErrors: true });
ajv.addMetaSchema(require('ajv/lib/refs/json-schema-draft-04.json'));
if (!ajv.validate(schema, log)) {
  console.log('invalid: ' + ajv.errorsText(ajv.errors, { separator: '\ninvalid: ' }));
  process.exit(1);
}
const pathOf = (location) => {
  const uri = location.physicalLocation.artifactLocation.uri;
  return uri.startsWith('file:') ? url.fileURLToPath(uri) : decodeURIComponent(uri);
};
const where = (location) => pathOf(location) + ':' + location.physicalLocation.region.startLine;
for (const run of log.runs) {
  for (const result of run.results) {
    const rule = run.tool.driver.rules[result.ruleIndex];
    if (rule.id !== result.ruleId) throw new Error('ruleIndex does not name ' + result.ruleId);
    const name = rule.defaultConfiguration.level === 'warning' ? ` [-W${rule.id}]` : '';
    console.log(`${where(result.locations[0])}: ${result.level}: ${result.message.text}${name}`);
    for (const related of result.relatedLocations || [])
      console.log(`${where(related)}: note: ${related.message.text}`);
  }
  for (const invocation of run.invocations) {
    for (const notice of invocation.toolExecutionNotifications || [])
      console.log(`unread ${pathOf(notice.locations[0])}: ${notice.message.text}`);
    console.log('successful: ' + invocation.executionSuccessful);
  }
}
